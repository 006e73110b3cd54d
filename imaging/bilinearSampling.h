#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace orvalis {

// The samples of a ring of this radius: trunc(20 x radius), and 0 below one
// sample and for a negative or NaN radius, whose conversion would be
// undefined. The plain sampler and the scan's tables both count with it.
inline std::uint32_t ringSampleCountOf(double radius) {
  const double product = radius * 20.0;
  return product >= 1.0 ? static_cast<std::uint32_t>(product) : 0;
}

// The bilinear weights of a position (row, column) in the cell whose top left
// pixel is (r0, c0): near weights to the position, far weights as differences
// to r0 + 1 and c0 + 1 rather than 1 - fy and 1 - fx, which round
// differently.
struct BilinearWeights {
  double fy, gy, fx, gx;
};
inline BilinearWeights bilinearWeights(double row, double column, double r0, double c0) {
  return {row - r0, (r0 + 1.0) - row, column - c0, (c0 + 1.0) - column};
}

// The interpolation itself, inline so that the ring samplers (the plain one
// below and the table-driven one of the scan) evaluate the very same
// expression, operation for operation.
inline double bilinearAt(const std::uint8_t* plane, std::uint32_t width, double row, double column) {
  const std::uint32_t r0 = static_cast<std::uint32_t>(std::floor(row));
  const std::uint32_t c0 = static_cast<std::uint32_t>(std::floor(column));
  const std::uint32_t r1 = r0 + 1;
  const std::uint32_t c1 = c0 + 1;
  const auto [fy, gy, fx, gx] = bilinearWeights(row, column, r0, c0);

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
// The samples of sampleRing for a given count: count points evenly spaced
// around the circle of this radius, the first at the top. A copy at another
// size is sampled with the template's counts at its own radius.
void sampleRingWithCount(const std::uint8_t* plane, std::uint32_t width, double centreRow,
                         double centreColumn, double radius, std::uint32_t count, double* profile);

void sampleRing(const std::uint8_t* plane, std::uint32_t width, double centreRow, double centreColumn,
                double radius, double* profile, std::uint32_t& count);

}  // namespace orvalis
