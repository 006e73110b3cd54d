#pragma once

#include <cstdint>

namespace orvalis {

// How a plane is turned: about (centreY, centreX) by angle radians, then
// shifted by (shiftY, shiftX). After a match these are matchAngle, the
// viewfinder centre and viewfinder - match, so that the found region comes
// to lie on the viewfinder in the template's orientation.
struct RotationParameters {
  double angle = 0;  // radians
  double centreX = 0;
  double centreY = 0;
  double shiftX = 0;
  double shiftY = 0;
  // The source's size against the destination's: the destination offset from
  // the centre is multiplied by it before the turn, so a copy that scale
  // times as large comes out at the destination's size. At 1 it changes
  // nothing, bit for bit.
  double scale = 1;
};

// Resamples a whole plane (one byte a pixel, stride = width) into
// destination, both width x height, which must not overlap.
//
// With u = cos(-angle) and v = sin(-angle), destination pixel (i, j) takes the
// source at
//   row    = (u s (i - centreY) - v s (j - centreX) + centreY) - shiftY
//   column = (v s (i - centreY) + u s (j - centreX) + centreX) - shiftX
// (s the scale)
// by bilinear interpolation (weights fy = row - r0, gy = r1 - row, fx =
// column - c0, gx = c1 - column; terms summed in the order (r0,c0), (r1,c1),
// (r0,c1), (r1,c0)), rounded half up to a byte. A position outside
// [0, height - 1] x [0, width - 1] gives 0; the bounds themselves are inside,
// and on them the neighbours beyond the plane (weight exactly 0) are not read.
void rotatePlane(const std::uint8_t* source, std::uint8_t* destination, std::uint32_t width,
                 std::uint32_t height, const RotationParameters& rotation);

}  // namespace orvalis
