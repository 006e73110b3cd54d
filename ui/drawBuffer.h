#pragma once

#include <cstdint>

#include "ui/viewGeometry.h"

class QPainter;

namespace orvalis {

// Stretch-draws a whole packed 24-bit picture (bytes blue, green, red, rows
// top-down, stride 3 x width) into a client rectangle. The pixels are read in
// place: the image wrapper shares the caller's buffer. An empty picture, or
// one larger than the image store holds, draws nothing.
void drawBuffer(QPainter& painter, const std::uint8_t* bgr, std::uint32_t width, std::uint32_t height,
                const PixelRect& target);

}  // namespace orvalis
