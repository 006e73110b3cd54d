#pragma once

#include <cstdint>

namespace orvalis {

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
