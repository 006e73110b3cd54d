#include "control/viewfinderCheck.h"

#include <algorithm>

#include "state/constants.h"

namespace orvalis {

bool viewfinderFits(std::uint32_t x, std::uint32_t y, std::uint32_t radius, std::uint32_t width,
                    std::uint32_t height) {
  const double dx = x, dy = y, r = radius, w = width, h = height;
  return radius != 0 && dy - r >= 1 && dy + r <= h - 2 && dx - r >= 1 && dx + r <= w - 2;
}

int checkViewfinder(SearchParameters& parameters, std::uint32_t width, std::uint32_t height) {
  if (viewfinderFits(parameters.viewfinderX, parameters.viewfinderY, parameters.viewfinderRadius, width,
                     height)) {
    return 1;
  }
  parameters.viewfinderX = width / 2;
  parameters.viewfinderY = height / 2;
  const std::uint32_t radius = width >= height ? height / 6 : width / 6;
  parameters.viewfinderRadius = std::min(radius, static_cast<std::uint32_t>(kMaxViewfinderRadius));
  return 0;
}

}  // namespace orvalis
