#include "files/writePng.h"

#include <png.h>

#include <cstring>

namespace orvalis {

namespace {
inline constexpr std::uint32_t kMaxPngWidth = 0x7FFFFFFF / 3;
}  // namespace

bool writePng(const std::string& path, const std::uint8_t* bgr, std::uint32_t width, std::uint32_t height) {
  if (width == 0 || height == 0 || bgr == nullptr) return false;
  if (width > kMaxPngWidth) return false;  // the row stride must fit libpng's signed 32 bits

  // libpng's simplified interface: it takes the buffer as BGR and stores RGB,
  // keeps its error handling (longjmp) inside the C library, and removes the
  // file again when writing fails.
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_BGR;

  const png_int_32 rowStride = static_cast<png_int_32>(3 * width);
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, bgr, rowStride, nullptr);
  png_image_free(&image);
  return ok != 0 ? 1 : 0;
}

}  // namespace orvalis
