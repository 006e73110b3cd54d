#include "imaging/rotatePlane.h"

#include <cmath>
#include <cstddef>

namespace orvalis {

namespace {

// Bilinear interpolation at (row, column), with 0 <= row <= height - 1 and
// 0 <= column <= width - 1. Same weights and same order of terms as the ring
// sampler. A position exactly on the last row (or column) has r1 (or c1)
// beyond the plane, but then fy (or fx) is exactly 0, so every term naming
// that neighbour has weight +0: such a neighbour is taken as 0 instead of
// being read, which adds the same +0 the formula would.
double interpolate(const std::uint8_t* plane, std::uint32_t width, std::uint32_t height, double row,
                   double column) {
  const std::uint32_t r0 = static_cast<std::uint32_t>(std::floor(row));
  const std::uint32_t c0 = static_cast<std::uint32_t>(std::floor(column));
  const std::uint32_t r1 = r0 + 1;
  const std::uint32_t c1 = c0 + 1;

  const double fy = row - r0;
  const double gy = r1 - row;
  const double fx = column - c0;
  const double gx = c1 - column;

  const bool haveRow1 = r1 < height;
  const bool haveColumn1 = c1 < width;
  const std::uint8_t* top = plane + static_cast<std::size_t>(r0) * width;
  const std::uint8_t* bottom = top + width;  // only dereferenced when haveRow1
  const double p00 = top[c0];
  const double p11 = haveRow1 && haveColumn1 ? bottom[c1] : 0.0;
  const double p01 = haveColumn1 ? top[c1] : 0.0;
  const double p10 = haveRow1 ? bottom[c0] : 0.0;

  return p00 * (gx * gy) + p11 * (fx * fy) + p01 * (fx * gy) + p10 * (gx * fy);
}

}  // namespace

void rotatePlane(const std::uint8_t* source, std::uint8_t* destination, std::uint32_t width,
                 std::uint32_t height, const RotationParameters& rotation) {
  const double u = std::cos(-rotation.angle);
  const double v = std::sin(-rotation.angle);
  const double lastRow = static_cast<double>(height) - 1.0;
  const double lastColumn = static_cast<double>(width) - 1.0;

  for (std::uint32_t i = 0; i < height; ++i) {
    std::uint8_t* out = destination + static_cast<std::size_t>(i) * width;
    for (std::uint32_t j = 0; j < width; ++j) {
      // Destination offset from the turning centre, turned, then moved.
      const double di = (i - rotation.centreY) * rotation.scale;
      const double dj = (j - rotation.centreX) * rotation.scale;
      const double row = (u * di - v * dj + rotation.centreY) - rotation.shiftY;
      const double column = (v * di + u * dj + rotation.centreX) - rotation.shiftX;

      // Range test: the bounds are inside. Written as "inside" so that a NaN
      // position gives 0 too.
      const bool inside = row >= 0.0 && row <= lastRow && column >= 0.0 && column <= lastColumn;
      out[j] =
          inside
              ? static_cast<std::uint8_t>(std::floor(interpolate(source, width, height, row, column) + 0.5))
              : 0;
    }
  }
}

}  // namespace orvalis
