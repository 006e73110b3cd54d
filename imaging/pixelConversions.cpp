#include "imaging/pixelConversions.h"

#include <cstddef>

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

namespace {

// The luma scale and the chroma weights of a coding, times 256.
struct YuvWeights {
  int y, rv, gu, gv, bu, yOffset;
};

YuvWeights yuvWeights(YuvCoding coding) {
  switch (coding) {
    case YuvCoding::Bt601Full: return {256, 359, 88, 183, 454, 0};
    case YuvCoding::Bt709Video: return {298, 459, 55, 136, 541, 16};
    case YuvCoding::Bt709Full: return {256, 403, 48, 120, 475, 0};
    case YuvCoding::Bt601Video: break;
  }
  return {298, 409, 100, 208, 516, 16};
}

std::uint8_t clamp8(int value) {
  return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace

void convertYuyvRowToBgr(const std::uint8_t* yuyv, std::uint32_t width, YuvCoding coding, std::uint8_t* out) {
  const YuvWeights k = yuvWeights(coding);
  for (std::uint32_t x = 0; x + 1 < width; x += 2, yuyv += 4, out += 6) {
    // Two pixels share one chroma pair.
    const int u = yuyv[1] - 128;
    const int v = yuyv[3] - 128;
    const int red = k.rv * v + 128;
    const int green = -k.gu * u - k.gv * v + 128;
    const int blue = k.bu * u + 128;
    for (int i = 0; i < 2; ++i) {
      const int luma = k.y * (yuyv[2 * i] - k.yOffset);
      out[3 * i] = clamp8((luma + blue) >> 8);
      out[3 * i + 1] = clamp8((luma + green) >> 8);
      out[3 * i + 2] = clamp8((luma + red) >> 8);
    }
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
