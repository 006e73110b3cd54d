#pragma once

#include <png.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

namespace orvalis::testing {

// A PNG file read back with libpng, its pixels as packed BGR.
struct PngFile {
  bool ok = false;
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> bgr;
};

inline PngFile readPng(const std::filesystem::path& file) {
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
