// Makes the archive that the walk benchmark (scripts/bench-compare --walk)
// searches: COUNT photographic JPEGs of 1920 x 1080 (quality 90, 4:2:0), each
// a different window of a mosaic of the demo's rocket and coffee photographs,
// and the benchmarks' query of the cat, the astronaut and Hubble with the
// viewfinder at its centre, where none of the archive pictures has a tile: the
// walk finds nothing and so reads the whole archive. The same COUNT always
// gives the same files.
//
//   walkSet OUT_DIR [COUNT]
//
// Writes OUT_DIR/Image_Archive/Current_Image.jpg and
// OUT_DIR/Image_Archive/Image_NNNNNNNNNN.jpg from 0, and prints the
// viewfinder as X,Y,R for --viewfinder.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/benchPictures.h"

namespace {

using orvalis::testing::BgrPicture;

constexpr std::uint32_t kWidth = 1920, kHeight = 1080;

// The mosaic of the photos (each tile mirrored where its tile column and row
// sum to an odd number) seen through a window that starts at (top, left).
BgrPicture window(const std::vector<BgrPicture>& photos, std::uint32_t top, std::uint32_t left,
                  std::size_t first) {
  BgrPicture out{kWidth, kHeight, std::vector<std::uint8_t>(std::size_t{3} * kWidth * kHeight)};
  const std::uint32_t tileWidth = photos[0].width, tileHeight = photos[0].height;
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const std::uint32_t my = y + top, mx = x + left;
      const std::uint32_t tileY = my / tileHeight, tileX = mx / tileWidth;
      const BgrPicture& tile = photos[(first + tileY + tileX) % photos.size()];
      const bool mirror = (tileX + tileY) % 2 == 1;
      const std::uint32_t sx = mirror ? tileWidth - 1 - mx % tileWidth : mx % tileWidth;
      const std::uint8_t* from = tile.pixels.data() + 3 * (std::size_t{my % tileHeight} * tileWidth + sx);
      std::uint8_t* to = out.at(y, x);
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvalis;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: walkSet OUT_DIR [COUNT]\n");
    return 2;
  }
  const int count = argc == 3 ? std::atoi(argv[2]) : 40;
  if (count < 1 || count > 10000) {
    std::fprintf(stderr, "walkSet: COUNT must be 1 to 10000\n");
    return 2;
  }
  const std::filesystem::path folder = std::filesystem::path(argv[1]) / "Image_Archive";
  std::filesystem::create_directories(folder);

  const bench::SearchPictures search = bench::searchPictures(kWidth, kHeight);
  testing::writeFile(folder / "Current_Image.jpg",
                     testing::encodeJpeg(search.query, 90, testing::JpegKind::Color420));

  const std::vector<BgrPicture> photos = {bench::demoPhoto("Image_0000000002.jpg"),
                                          bench::demoPhoto("Image_0000000003.jpg")};
  for (int i = 0; i < count; ++i) {
    const auto n = static_cast<std::uint32_t>(i);
    const BgrPicture picture = window(photos, (n * 89) % 400, (n * 137) % 600, n);
    char name[32];
    std::snprintf(name, sizeof name, "Image_%010u.jpg", n);
    testing::writeFile(folder / name, testing::encodeJpeg(picture, 90, testing::JpegKind::Color420));
  }
  std::printf("%u,%u,%u\n", search.viewfinderX, search.viewfinderY, search.viewfinderRadius);
  return 0;
}
