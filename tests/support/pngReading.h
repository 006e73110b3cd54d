#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace orvalis::testing {

// A PNG file read back with libpng: its stored colour type and bit depth, and
// its pixels converted to packed BGR for comparison with the store's pictures.
struct PngFile {
  bool ok = false;
  std::uint32_t width = 0, height = 0;
  int colorType = -1;
  int bitDepth = 0;
  std::vector<std::uint8_t> bgr;
};

PngFile readPng(const std::filesystem::path& file);

}  // namespace orvalis::testing
