#include "imaging/bilinearSampling.h"

#include <cmath>
#include <cstddef>

#include "state/constants.h"

namespace orvalis {

double sampleBilinear(const std::uint8_t* plane, std::uint32_t width, double row, double column) {
  return bilinearAt(plane, width, row, column);
}

void sampleRing(const std::uint8_t* plane, std::uint32_t width, double centreRow, double centreColumn,
                double radius, double* profile, std::uint32_t& count) {
  count = ringSampleCountOf(radius);
  sampleRingWithCount(plane, width, centreRow, centreColumn, radius, count, profile);
}

void sampleRingWithCount(const std::uint8_t* plane, std::uint32_t width, double centreRow,
                         double centreColumn, double radius, std::uint32_t count, double* profile) {
  if (count == 0) return;
  const double step = kFullTurn / count;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double angle = i * step;
    const double row = centreRow - radius * std::cos(angle);
    const double column = centreColumn - radius * std::sin(angle);
    profile[i] = sampleBilinear(plane, width, row, column);
  }
}

}  // namespace orvalis
