#include "tests/support/pngReading.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace orvalis::testing {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Header fields straight from the file, through the classic interface (the
// simplified one reports only its own format).
bool readHeader(const std::filesystem::path& file, PngFile& out) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(file.c_str(), "rb"));
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  volatile bool ok = false;  // set between setjmp and a possible longjmp
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f.get());
    png_read_info(png, info);
    out.colorType = png_get_color_type(png, info);
    out.bitDepth = png_get_bit_depth(png, info);
    ok = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return ok;
}

}  // namespace

PngFile readPng(const std::filesystem::path& file) {
  PngFile out;
  if (!readHeader(file, out)) return out;

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, file.c_str()) == 0) return out;
  image.format = PNG_FORMAT_BGR;
  out.bgr.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, out.bgr.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return out;
  }
  out.width = image.width;
  out.height = image.height;
  out.ok = true;
  return out;
}

}  // namespace orvalis::testing
