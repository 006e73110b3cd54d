#include "matching/consensusReach.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "matching/rotationEstimate.h"

namespace orvalis {

// For a reference not yet aligned, the inner rings that agree with its angle
// all lie within their half steps of it, so within the sum of their half
// steps of each other: at most one ring and its close neighbours.
bool consensusPossible(int known, const std::uint32_t* count, const double* angleDeg, int isolated) {
  double halfStep[kRingCount];
  for (int ring = 0; ring < known; ++ring) halfStep[ring] = 0.5 * (360.0 / static_cast<double>(count[ring]));
  const auto circular = [](double a, double b) {
    const double lo = a < b ? a : b, hi = a < b ? b : a;
    const double d = hi - lo, w = lo + 360.0 - hi;
    return d <= w ? d : w;
  };
  for (int reference = kRingCount - 1; reference >= kRingsToAgree; --reference) {
    const int innerKnown = std::min(reference, known);
    const int innerUnknown = reference - innerKnown;
    int agreeing = 0;
    if (reference < known) {
      // agreeOnAngle's own comparison.
      for (int inner = 0; inner < reference; ++inner) {
        if (reference != isolated && inner != isolated &&
            circular(angleDeg[reference], angleDeg[inner]) <= halfStep[inner])
          ++agreeing;
      }
    } else {
      // The slack covers the rounding of the comparisons, far below a step.
      for (int centre = 0; centre < innerKnown; ++centre) {
        int close = 1;
        for (int other = 0; other < innerKnown; ++other) {
          if (other != centre && centre != isolated && other != isolated &&
              circular(angleDeg[centre], angleDeg[other]) <= halfStep[centre] + halfStep[other] + 1e-9) {
            ++close;
          }
        }
        agreeing = std::max(agreeing, close);
      }
    }
    if (agreeing + innerUnknown >= kRingsToAgree) return true;
  }
  return false;
}

// A ring's angle changes consensusPossible only through the rings it lies
// within both half steps (and the slack) of: with no such ring the answer is
// that of the ring isolated. So when that answer is no, only shifts within
// those reaches of an inner ring's angle matter; they are marked with two
// shifts to spare, which covers the rounding of the angles and the turn's not
// being exactly 360 degrees.
bool markDecisiveShifts(int ring, const std::uint32_t* count, const double* angleDeg,
                        std::uint8_t* decisive) {
  const int known = ring + 1;
  if (known < kTellingRings || known >= kRingCount) return false;
  if (consensusPossible(known, count, angleDeg, ring)) return false;
  const std::uint32_t n = count[ring];
  const double perShift = shiftAngleDegrees(1, kFullTurn / n);
  const double halfStep = 0.5 * (360.0 / static_cast<double>(n));
  std::memset(decisive, 0, n);
  for (int inner = 0; inner < ring; ++inner) {
    const double reach = halfStep + 0.5 * (360.0 / static_cast<double>(count[inner])) + 1e-6;
    const double from = std::floor((angleDeg[inner] - reach) / perShift) - 2.0;
    const double to = std::ceil((angleDeg[inner] + reach) / perShift) + 2.0;
    if (!(to - from + 1.0 < static_cast<double>(n))) return false;
    const auto shifts = static_cast<std::int64_t>(n);
    for (auto s = static_cast<std::int64_t>(from); s <= static_cast<std::int64_t>(to); ++s)
      decisive[((s % shifts) + shifts) % shifts] = 1;
  }
  return true;
}

}  // namespace orvalis
