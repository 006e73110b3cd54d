#pragma once

#include <cstdint>
#include <string>

namespace orvalis {

// Writes a packed BGR picture (3 bytes a pixel, rows top-down, stride
// 3 x width) as an 8-bit RGB PNG file, replacing any file of that name.
// True on success, false when it could not be written: an empty picture
// (PNG has no 0 x 0 image), a folder that does not exist, no permission, a
// full disk. A failed write leaves no partial file behind.
[[nodiscard]] bool writePng(const std::string& path, const std::uint8_t* bgr, std::uint32_t width,
                            std::uint32_t height);

}  // namespace orvalis
