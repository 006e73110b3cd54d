#pragma once

#include <cstdint>

namespace orvalis {

// Inverts (each byte b becomes 255 - b) every pixel of a filled disc in a
// 24-bit BGR picture (rows top-down, stride 3 x width). Centre and radius are
// in pixels, row 0 at the top, column 0 at the left.
//
// The disc is drawn only when it fits the picture entirely: centreRow - radius
// >= 0, centreRow + radius <= height - 1, and likewise for the columns; a disc
// touching an edge exactly is drawn, one that leaves the picture by any
// fraction is not drawn at all. A disc too small to have a single angle step
// (radius below 1/36) draws nothing either.
//
// The outline is walked in trunc(36 x radius) steps around the full turn,
// from the top down to the bottom; each row is inverted exactly once, over the
// span found at the first step that reaches it. Inverting the same disc twice
// therefore restores the picture.
void invertDisc(std::uint8_t* picture, std::uint32_t width, std::uint32_t height, double centreRow,
                double centreColumn, double radius);

}  // namespace orvalis
