#include "imaging/glyphs.h"

#include <cmath>

#include "imaging/invertDisc.h"
#include "state/constants.h"

namespace orvalis {

namespace {

// Marker radius: the viewfinder radius shifted right by two bits, then taken
// as a double (43 gives 10, not 10.75).
double markerRadius(std::uint32_t viewfinderRadius) {
  return static_cast<double>(viewfinderRadius / 4);
}

// Distance of the markers from the centre: 1.5 x radius in double (43 gives 64.5).
double markerDistance(std::uint32_t viewfinderRadius) {
  return 1.5 * static_cast<double>(viewfinderRadius);
}

}  // namespace

void drawViewfinderGlyph(std::uint8_t* picture, std::uint32_t width, std::uint32_t height,
                         std::uint32_t viewfinderX, std::uint32_t viewfinderY,
                         std::uint32_t viewfinderRadius) {
  const double y = viewfinderY;
  const double x = viewfinderX;
  const double r = viewfinderRadius;
  const double q = markerRadius(viewfinderRadius);
  const double d = markerDistance(viewfinderRadius);

  invertDisc(picture, width, height, y, x, r);
  invertDisc(picture, width, height, y - d, x, q);  // above
  invertDisc(picture, width, height, y, x + d, q);  // to the right
}

void drawMatchGlyph(std::uint8_t* picture, std::uint32_t width, std::uint32_t height, std::uint32_t matchX,
                    std::uint32_t matchY, double matchRadius, double matchAngle,
                    std::uint32_t viewfinderRadius) {
  const double y = matchY;
  const double x = matchX;
  const double q = markerRadius(viewfinderRadius);
  const double d = markerDistance(viewfinderRadius);

  // Marker positions follow the circle convention (row = centre - d cos,
  // column = centre - d sin): angle 0 is straight up, and the second marker
  // is a further quarter turn on, which for angle 0 is straight right.
  const double first = -matchAngle;
  const double second = -matchAngle - kQuarterTurn;

  invertDisc(picture, width, height, y, x, matchRadius);
  invertDisc(picture, width, height, y - d * std::cos(first), x - d * std::sin(first), q);
  invertDisc(picture, width, height, y - d * std::cos(second), x - d * std::sin(second), q);
}

}  // namespace orvalis
