#include "control/viewfinderCheck.h"

#include <algorithm>

#include "matching/admissibleCentre.h"
#include "state/constants.h"

namespace orvalis {

bool viewfinderFits(std::uint32_t x, std::uint32_t y, std::uint32_t radius, std::uint32_t width,
                    std::uint32_t height) {
  return radius != 0 && isAdmissibleCentre(y, x, radius, width, height);
}

bool checkViewfinder(SearchParameters& parameters, std::uint32_t width, std::uint32_t height) {
  if (viewfinderFits(parameters.viewfinderX, parameters.viewfinderY, parameters.viewfinderRadius, width,
                     height)) {
    return true;
  }
  parameters.viewfinderX = width / 2;
  parameters.viewfinderY = height / 2;
  const std::uint32_t radius = width >= height ? height / 6 : width / 6;
  parameters.viewfinderRadius = std::min(radius, static_cast<std::uint32_t>(kMaxViewfinderRadius));
  return false;
}

}  // namespace orvalis
