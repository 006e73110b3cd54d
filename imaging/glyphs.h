#pragma once

#include <cstdint>

namespace orvalis {

// The figures drawn by inversion (invertDisc) on the gray display pictures:
// a disc with two small marker discs of radius viewfinderRadius / 4 (integer
// division) at 1.5 x viewfinderRadius from its centre. Every disc is tested
// for fit on its own, so a marker that would leave the picture is skipped
// while the rest is still drawn. Drawing the same figure twice restores the
// picture.

// The viewfinder on the query picture: main disc at (viewfinderY,
// viewfinderX), one marker above it and one to its right.
void drawViewfinderGlyph(std::uint8_t* picture, std::uint32_t width, std::uint32_t height,
                         std::uint32_t viewfinderX, std::uint32_t viewfinderY,
                         std::uint32_t viewfinderRadius);

// The match on the archive picture: main disc of matchRadius at (matchY,
// matchX), the markers turned by -matchAngle (radians) so that they point
// where the template's upward and rightward directions lie in the archive.
// For angle 0 it is the viewfinder glyph drawn at the match centre; for a
// quarter turn the first marker is to the right and the second below.
void drawMatchGlyph(std::uint8_t* picture, std::uint32_t width, std::uint32_t height, std::uint32_t matchX,
                    std::uint32_t matchY, double matchRadius, double matchAngle,
                    std::uint32_t viewfinderRadius);

}  // namespace orvalis
