#include "imaging/invertDisc.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "state/constants.h"

namespace orvalis {

namespace {

// The fit test, its four bounds in the usual order. Written as "inside"
// rather than "outside" so that a NaN centre or radius counts as not fitting.
bool discFits(std::uint32_t width, std::uint32_t height, double centreRow, double centreColumn,
              double radius) {
  const double lastRow = static_cast<double>(height) - 1.0;
  const double lastColumn = static_cast<double>(width) - 1.0;
  return centreRow - radius >= 0.0 && centreRow + radius <= lastRow && centreColumn - radius >= 0.0 &&
         centreColumn + radius <= lastColumn;
}

void invertSpan(std::uint8_t* picture, std::uint32_t width, std::uint32_t row, std::uint32_t left,
                std::uint32_t right) {
  std::uint8_t* pixel = picture + 3 * (static_cast<std::size_t>(row) * width + left);
  for (std::uint32_t x = left; x <= right; ++x, pixel += 3) {
    pixel[0] = static_cast<std::uint8_t>(255 - pixel[0]);
    pixel[1] = static_cast<std::uint8_t>(255 - pixel[1]);
    pixel[2] = static_cast<std::uint8_t>(255 - pixel[2]);
  }
}

}  // namespace

void invertDisc(std::uint8_t* picture, std::uint32_t width, std::uint32_t height, double centreRow,
                double centreColumn, double radius) {
  if (!discFits(width, height, centreRow, centreColumn, radius)) return;

  // Step count, truncated toward zero. Below one step there is no angle to
  // walk (and the step would divide by zero): nothing is drawn.
  const double steps = std::trunc(36.0 * radius);
  if (!(steps >= 1.0) || steps > std::numeric_limits<std::int32_t>::max()) return;
  const std::int32_t n = static_cast<std::int32_t>(steps);
  const double step = kFullTurn / n;

  // From the top of the circle (angle 0) down to the bottom (just under half
  // a turn). One step moves the rounded row by at most one, so every row is
  // reached; a row keeps the span of the first angle that reaches it. The fit
  // test keeps every rounded row and column inside the picture.
  bool haveRow = false;
  double previousRow = 0.0;
  for (std::int32_t i = 0; i <= n / 2; ++i) {
    const double a = i * step;
    const double row = std::floor(centreRow - radius * std::cos(a) + 0.5);
    if (haveRow && row == previousRow) continue;
    const double sine = std::sin(a);
    const double left = std::floor(centreColumn - radius * sine + 0.5);
    const double right = std::floor(centreColumn + radius * sine + 0.5);
    haveRow = true;
    previousRow = row;
    if (left <= right) {
      invertSpan(picture, width, static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(left),
                 static_cast<std::uint32_t>(right));
    }
  }
}

}  // namespace orvalis
