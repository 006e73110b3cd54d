// Feeds arbitrary bytes to the JPEG loader's memory entry point, which shares
// every check with the file loader. The destination is checked for writes past
// the decoded picture.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "files/loadJpeg.h"

namespace {
orvalis::BgrImage& destination() {
  static auto image = std::make_unique<orvalis::BgrImage>();
  return *image;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvalis::BgrImage& image = destination();
  std::uint32_t height = 0, width = 0;
  // A canary just past where the largest accepted picture ends.
  const std::size_t canary = orvalis::BgrImage::capacity() - 1;
  image[canary] = 0x5A;
  const int ok = orvalis::decodeJpeg(data, size, image, width, height);
  if (ok == 1) {
    if (!orvalis::fitsImageCapacity(width, height)) std::abort();
    if (std::size_t{3} * width * height <= canary && image[canary] != 0x5A) std::abort();
  } else if (height != 0 || width != 0) {
    std::abort();
  }
  return 0;
}
