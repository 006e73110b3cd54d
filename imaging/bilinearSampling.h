#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace orvalis {

// The interpolation itself, inline so that the ring samplers (the plain one
// below and the table-driven one of the scan) evaluate the very same
// expression, operation for operation.
inline double bilinearAt(const std::uint8_t* plane, std::uint32_t width, double row, double column) {
  const std::uint32_t r0 = static_cast<std::uint32_t>(std::floor(row));
  const std::uint32_t c0 = static_cast<std::uint32_t>(std::floor(column));
  const std::uint32_t r1 = r0 + 1;
  const std::uint32_t c1 = c0 + 1;

  // The far weights are differences to r1 and c1, not 1 - fy and 1 - fx.
  const double fy = row - r0;
  const double gy = r1 - row;
  const double fx = column - c0;
  const double gx = c1 - column;

  const std::uint8_t* top = plane + static_cast<std::size_t>(r0) * width;
  const std::uint8_t* bottom = plane + static_cast<std::size_t>(r1) * width;
  const double p00 = top[c0], p01 = top[c1], p10 = bottom[c0], p11 = bottom[c1];
  // The four terms in this order; the order fixes the rounding.
  return p00 * (gx * gy) + p11 * (fx * fy) + p01 * (fx * gy) + p10 * (gx * fy);
}

// The value of a one-byte plane (row stride = width) at a real position, by
// bilinear interpolation of the four pixels around it, unrounded. At a whole
// position it is exactly that pixel's byte. The caller keeps
// 0 <= row < height - 1 and 0 <= column < width - 1, so that all four
// neighbours exist.
double sampleBilinear(const std::uint8_t* plane, std::uint32_t width, double row, double column);

// Samples the circle of the given radius around (centreRow, centreColumn):
// count = trunc(20 x radius) samples (written to count first, also when it is
// 0, which samples nothing), sample i at angle i x (6.283185307 / count),
// position row = centreRow - radius x cos(angle), column = centreColumn -
// radius x sin(angle). Sample 0 is straight above the centre and the samples
// run to the left from there (counter-clockwise on screen).
// The caller keeps radius <= 250, so that count fits the kMaxRingSamples of a
// profile, and the whole circle inside the limits of sampleBilinear. A
// negative or NaN radius samples nothing.
void sampleRing(const std::uint8_t* plane, std::uint32_t width, double centreRow, double centreColumn,
                double radius, double* profile, std::uint32_t& count);

}  // namespace orvalis
