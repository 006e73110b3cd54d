#include "imaging/pixelConversions.h"

#include <cstring>

namespace orvalis {

namespace {

std::size_t pixelCount(std::uint32_t width, std::uint32_t height) {
  return static_cast<std::size_t>(width) * height;
}

}  // namespace

void convertBgraToBgr(const std::uint8_t* frame, std::uint32_t width, std::uint32_t height,
                      std::uint8_t* out) {
  const std::size_t n = pixelCount(width, height);
  for (std::size_t i = 0; i < n; ++i) {
    out[3 * i] = frame[4 * i];
    out[3 * i + 1] = frame[4 * i + 1];
    out[3 * i + 2] = frame[4 * i + 2];
  }
}

void flipVertical(const std::uint8_t* source, std::uint32_t width, std::uint32_t height,
                  std::size_t sourceStride, std::uint8_t* picture) {
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  for (std::uint32_t k = 0; k < height; ++k) {
    std::memcpy(picture + (height - 1 - k) * rowBytes, source + k * sourceStride, rowBytes);
  }
}

void splitPlanes(const std::uint8_t* picture, std::uint32_t width, std::uint32_t height, std::uint8_t* blue,
                 std::uint8_t* green, std::uint8_t* red) {
  const std::size_t n = pixelCount(width, height);
  for (std::size_t i = 0; i < n; ++i) {
    blue[i] = picture[3 * i];
    green[i] = picture[3 * i + 1];
    red[i] = picture[3 * i + 2];
  }
}

void grayPlane(const std::uint8_t* blue, const std::uint8_t* green, const std::uint8_t* red,
               std::uint32_t width, std::uint32_t height, std::uint8_t* gray) {
  const std::size_t n = pixelCount(width, height);
  for (std::size_t i = 0; i < n; ++i) gray[i] = grayOf(blue[i], green[i], red[i]);
}

void grayToBgr(const std::uint8_t* blue, const std::uint8_t* green, const std::uint8_t* red,
               std::uint32_t width, std::uint32_t height, std::uint8_t* picture) {
  const std::size_t n = pixelCount(width, height);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t g = grayOf(blue[i], green[i], red[i]);
    picture[3 * i] = g;
    picture[3 * i + 1] = g;
    picture[3 * i + 2] = g;
  }
}

}  // namespace orvalis
