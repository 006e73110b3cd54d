// Builds the demo working folder from a few public-domain and CC0 photographs
// (scikit-image's sample data, Debian package python3-skimage): every picture
// is cropped to 3:2 and scaled to 600 x 400; the still query is the cat; one
// archive picture gets the disc around the cat's left eye pasted in, turned by
// a known angle, so the search has something to find.
//
//   orvalis-make-demo SKIMAGE_DATA_DIR OUT_DIR
//
// The output is committed under demo/; this tool is kept so that it can be
// made again and checked.

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> bgr;  // packed, top-down
  std::uint8_t* at(int y, int x) { return bgr.data() + 3 * (static_cast<std::size_t>(y) * width + x); }
  const std::uint8_t* at(int y, int x) const {
    return bgr.data() + 3 * (static_cast<std::size_t>(y) * width + x);
  }
};

bool readPng(const fs::path& file, Picture& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return false;
  image.format = PNG_FORMAT_BGR;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.bgr.resize(PNG_IMAGE_SIZE(image));
  const bool ok = png_image_finish_read(&image, nullptr, out.bgr.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

bool readJpeg(const fs::path& file, Picture& out) {
  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
  tjhandle h = tjInitDecompress();
  int w = 0, ht = 0, sub = 0, cs = 0;
  bool ok = tjDecompressHeader3(h, bytes.data(), bytes.size(), &w, &ht, &sub, &cs) == 0;
  if (ok) {
    out.width = w;
    out.height = ht;
    out.bgr.resize(static_cast<std::size_t>(w) * ht * 3);
    ok = tjDecompress2(h, bytes.data(), bytes.size(), out.bgr.data(), w, 0, ht, TJPF_BGR, 0) == 0;
  }
  tjDestroy(h);
  return ok;
}

bool writeJpeg(const Picture& picture, const fs::path& file) {
  tjhandle h = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = tjCompress2(h, picture.bgr.data(), picture.width, 0, picture.height, TJPF_BGR, &buffer,
                              &size, TJSAMP_420, 95, 0) == 0;
  if (ok) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(buffer), static_cast<std::streamsize>(size));
  }
  tjFree(buffer);
  tjDestroy(h);
  return ok;
}

double sample(const Picture& p, double y, double x, int c) {
  const int y0 = std::clamp(static_cast<int>(std::floor(y)), 0, p.height - 1);
  const int x0 = std::clamp(static_cast<int>(std::floor(x)), 0, p.width - 1);
  const int y1 = std::min(y0 + 1, p.height - 1), x1 = std::min(x0 + 1, p.width - 1);
  const double fy = y - std::floor(y), fx = x - std::floor(x);
  return p.at(y0, x0)[c] * (1 - fx) * (1 - fy) + p.at(y0, x1)[c] * fx * (1 - fy) +
         p.at(y1, x0)[c] * (1 - fx) * fy + p.at(y1, x1)[c] * fx * fy;
}

// Crops the centre to 3:2 and scales to 600 x 400 (area-averaging when
// shrinking keeps the result free of aliasing).
Picture toDemoSize(const Picture& source) {
  constexpr int kWidth = 600, kHeight = 400;
  double cropW = source.width, cropH = source.width / 1.5;
  if (cropH > source.height) {
    cropH = source.height;
    cropW = source.height * 1.5;
  }
  const double x0 = (source.width - cropW) / 2, y0 = (source.height - cropH) / 2;
  const double scale = cropW / kWidth;
  const int taps = std::max(1, static_cast<int>(std::ceil(scale)));
  Picture out{kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 3)};
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int ty = 0; ty < taps; ++ty) {
          for (int tx = 0; tx < taps; ++tx) {
            sum += sample(source, y0 + (y + (ty + 0.5) / taps) * scale - 0.5,
                          x0 + (x + (tx + 0.5) / taps) * scale - 0.5, c);
          }
        }
        out.at(y, x)[c] = static_cast<std::uint8_t>(std::lround(sum / (taps * taps)));
      }
    }
  }
  return out;
}

// Pastes the disc of `radius` around (fromY, fromX) of `from` into `into` at
// (toY, toX), turned by `degrees` (counter-clockwise on screen).
void pasteTurnedDisc(const Picture& from, double fromY, double fromX, Picture& into, int toY, int toX,
                     int radius, double degrees) {
  const double a = degrees * 3.14159265358979 / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      const double d = std::sqrt(double(dy * dy + dx * dx));
      if (d > radius) continue;
      // Feather the last few pixels so the pasted disc has no hard seam.
      const double alpha = std::min(1.0, (radius - d) / 4.0);
      const double sy = fromY + c * dy - s * dx;
      const double sx = fromX + s * dy + c * dx;
      std::uint8_t* p = into.at(toY + dy, toX + dx);
      for (int ch = 0; ch < 3; ++ch) {
        p[ch] =
            static_cast<std::uint8_t>(std::lround(alpha * sample(from, sy, sx, ch) + (1 - alpha) * p[ch]));
      }
    }
  }
}

void writeParameters(const fs::path& file) {
  // framesPerSecond 4, filterRadius 8, colorTolerance 16, step 10, row 160,
  // column 226, radius 60: the viewfinder on the cat's left eye.
  const std::uint32_t values[7] = {4, 8, 16, 10, 160, 226, 60};
  std::uint8_t bytes[25];
  const int widths[7] = {4, 4, 1, 4, 4, 4, 4};
  int at = 0;
  for (int i = 0; i < 7; ++i) {
    for (int b = 0; b < widths[i]; ++b) bytes[at++] = static_cast<std::uint8_t>(values[i] >> (8 * b));
  }
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes), 25);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: orvalis-make-demo SKIMAGE_DATA_DIR OUT_DIR\n");
    return 2;
  }
  const fs::path data = argv[1], out = argv[2];
  Picture cat, coffee, astronaut, rocket, hubble;
  if (!readPng(data / "chelsea.png", cat) || !readPng(data / "coffee.png", coffee) ||
      !readPng(data / "astronaut.png", astronaut) || !readJpeg(data / "rocket.jpg", rocket) ||
      !readJpeg(data / "hubble_deep_field.jpg", hubble)) {
    std::fprintf(stderr, "orvalis-make-demo: cannot read the sample photographs in %s\n", argv[1]);
    return 2;
  }
  const Picture query = toDemoSize(cat);
  Picture planted = toDemoSize(coffee);
  // Disc of radius 60 + 8 (filter) + 4 (feather) from the eye at (160, 226),
  // turned by 40 degrees, into the coffee picture at (250, 450).
  pasteTurnedDisc(query, 160, 226, planted, 250, 450, 72, 40.0);

  fs::create_directories(out / "Image_Archive");
  fs::create_directories(out / "res");
  bool ok = writeJpeg(query, out / "Image_Archive/Current_Image.jpg");
  ok = ok && writeJpeg(toDemoSize(astronaut), out / "Image_Archive/Image_0000000000.jpg");
  ok = ok && writeJpeg(toDemoSize(hubble), out / "Image_Archive/Image_0000000001.jpg");
  ok = ok && writeJpeg(toDemoSize(rocket), out / "Image_Archive/Image_0000000002.jpg");
  ok = ok && writeJpeg(toDemoSize(coffee), out / "Image_Archive/Image_0000000003.jpg");
  ok = ok && writeJpeg(planted, out / "Image_Archive/Image_0000000004.jpg");
  Picture backdrop{64, 64, std::vector<std::uint8_t>(64 * 64 * 3, 64)};
  ok = ok && writeJpeg(backdrop, out / "res/Dark_Gray_Square.jpg");
  writeParameters(out / "res/Combo_Box_Parameters.bin");
  if (!ok) {
    std::fprintf(stderr, "orvalis-make-demo: cannot write the demo pictures\n");
    return 2;
  }
  std::printf("demo written to %s\n", argv[2]);
  return 0;
}
