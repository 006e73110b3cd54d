#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace orvalis::testing {

// A PNG file read back with libpng, its pixels as packed BGR.
struct PngFile {
  bool ok = false;
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> bgr;
};

PngFile readPng(const std::filesystem::path& file);

}  // namespace orvalis::testing
