#pragma once

#include <cstdint>

namespace orvalis {

// The gray value of a pixel: plain unsigned arithmetic, the sum of three
// bytes divided with truncation, exactly as the gray value is defined.
inline std::uint8_t grayOf(unsigned blue, unsigned green, unsigned red) {
  return static_cast<std::uint8_t>((blue + green + red) / 3);
}

// Moves between the two layouts: 24-bit BGR pictures (rows top-down, stride
// 3 x width) and one-byte planes (stride = width). The gray value of a pixel is
// (blue + green + red) / 3 with the remainder dropped: no weighting, no
// rounding. None of these allocates or fails; width or height 0 writes nothing.

// 32-bit frame (4 bytes a pixel, fourth ignored) to packed 24-bit, same row order.
void convertBgraToBgr(const std::uint8_t* frame, std::uint32_t width, std::uint32_t height,
                      std::uint8_t* out);

// How a camera's packed 4:2:2 frame codes colour: the matrix (BT.601 or
// BT.709) and the range (video: luma 16..235; full: 0..255).
enum class YuvCoding : std::uint8_t { Bt601Video, Bt601Full, Bt709Video, Bt709Full };

// One row of packed 4:2:2 (Y0 Cb Y1 Cr for each pair of pixels; width even)
// to 24-bit BGR: integer arithmetic with 8 fraction bits, clamped to 0..255.
void convertYuyvRowToBgr(const std::uint8_t* yuyv, std::uint32_t width, YuvCoding coding, std::uint8_t* out);

void splitPlanes(const std::uint8_t* picture, std::uint32_t width, std::uint32_t height, std::uint8_t* blue,
                 std::uint8_t* green, std::uint8_t* red);

void grayPlane(const std::uint8_t* blue, const std::uint8_t* green, const std::uint8_t* red,
               std::uint32_t width, std::uint32_t height, std::uint8_t* gray);

// Writes the gray value into all three bytes of each pixel.
void grayToBgr(const std::uint8_t* blue, const std::uint8_t* green, const std::uint8_t* red,
               std::uint32_t width, std::uint32_t height, std::uint8_t* picture);

}  // namespace orvalis
