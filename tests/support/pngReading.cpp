#include "tests/support/pngReading.h"

#include <png.h>

#include <cstring>

namespace orvalis::testing {

PngFile readPng(const std::filesystem::path& file) {
  PngFile out;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, file.c_str()) == 0) return out;
  image.format = PNG_FORMAT_BGR;
  out.bgr.resize(PNG_IMAGE_SIZE(image));
  out.ok = png_image_finish_read(&image, nullptr, out.bgr.data(), 0, nullptr) != 0;
  out.width = image.width;
  out.height = image.height;
  png_image_free(&image);
  return out;
}

}  // namespace orvalis::testing
