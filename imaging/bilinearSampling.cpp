#include "imaging/bilinearSampling.h"

#include <cmath>
#include <cstddef>

#include "core/constants.h"

namespace orvalis {

double sampleBilinear(const std::uint8_t* plane, std::uint32_t width, double row, double column) {
  const std::uint32_t r0 = static_cast<std::uint32_t>(std::floor(row));
  const std::uint32_t c0 = static_cast<std::uint32_t>(std::floor(column));
  const std::uint32_t r1 = r0 + 1;
  const std::uint32_t c1 = c0 + 1;

  // The far weights are differences to r1 and c1, not 1 - fy and 1 - fx.
  const double fy = row - r0;
  const double gy = r1 - row;
  const double fx = column - c0;
  const double gx = c1 - column;

  const auto at = [&](std::uint32_t y, std::uint32_t x) -> double {
    return plane[static_cast<std::size_t>(y) * width + x];
  };
  // The four terms in this order; the order fixes the rounding.
  return at(r0, c0) * (gx * gy) + at(r1, c1) * (fx * fy) + at(r0, c1) * (fx * gy) + at(r1, c0) * (gx * fy);
}

void sampleRing(const std::uint8_t* plane, std::uint32_t width, double centreRow, double centreColumn,
                double radius, double* profile, std::uint32_t& count) {
  // trunc(20 x radius); below one sample (and for a negative or NaN radius,
  // whose conversion would be undefined) there is nothing to sample.
  const double product = radius * 20.0;
  count = product >= 1.0 ? static_cast<std::uint32_t>(product) : 0;
  if (count == 0) return;

  const double step = kFullTurn / count;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double angle = i * step;
    const double row = centreRow - radius * std::cos(angle);
    const double column = centreColumn - radius * std::sin(angle);
    profile[i] = sampleBilinear(plane, width, row, column);
  }
}

}  // namespace orvalis
