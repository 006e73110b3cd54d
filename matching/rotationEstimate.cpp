#include "matching/rotationEstimate.h"

#include <cmath>

namespace orvalis {

bool alignRing(const double* candidateProfile, std::uint32_t count, const double* templateProfile,
               std::uint8_t colorTolerance, double& angleDeg) {
  if (count == 0) return false;
  const double step = kFullTurn / count;
  double best = 4294967295.0;
  std::uint32_t bestShift = 0;
  bool anyQualified = false;

  for (std::uint32_t shift = 0; shift < count; ++shift) {
    double sum = 0.0;
    bool qualifies = true;
    for (std::uint32_t j = 0; j < count; ++j) {
      const double d = std::fabs(candidateProfile[j] - templateProfile[(j + shift) % count]);
      if (d > colorTolerance) {
        qualifies = false;
        break;
      }
      sum = sum + d;
    }
    if (!qualifies) continue;
    anyQualified = true;
    // Strictly better only: on equal sums the earlier shift stays.
    if (sum < best) {
      best = sum;
      bestShift = shift;
    }
  }
  if (!anyQualified) return false;
  angleDeg = shiftAngleDegrees(bestShift, step);
  return true;
}

bool alignAllRings(SearchState& state) {
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (!alignRing(state.candidateRingProfile[ring], state.ringSampleCount[ring],
                   state.templateRingProfile[ring], state.colorTolerance, state.ringAngleDeg[ring])) {
      return false;
    }
  }
  return true;
}

bool agreeOnAngle(SearchState& state) {
  return agreeOnAngle(state.ringSampleCount, state.ringAngleDeg, state.ringAngleStep,
                      state.consensusAngleDeg);
}

bool agreeOnAngle(const std::uint32_t* ringSampleCount, const double* ringAngleDeg, double* ringAngleStep,
                  double& consensusAngleDeg) {
  // An empty ring has no step; nothing can agree with it.
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (ringSampleCount[ring] == 0) return false;
  }
  for (int ring = 0; ring < kRingCount; ++ring) {
    ringAngleStep[ring] = 360.0 / static_cast<double>(ringSampleCount[ring]);
  }
  if (kRingsToAgree > kRingCount - 1) return false;

  // Reference rings from the outermost inwards; the inner rings are counted,
  // nearest first, each against its own (coarser) step.
  for (int reference = kRingCount - 1; reference >= kRingsToAgree; --reference) {
    const double a = ringAngleDeg[reference];
    int agreeing = 0;
    for (int inner = reference - 1; inner >= 0; --inner) {
      const double b = ringAngleDeg[inner];
      const double lo = a < b ? a : b;
      const double hi = a < b ? b : a;
      // Circular difference: the shorter way round.
      const double d = hi - lo;
      const double w = lo + 360.0 - hi;
      const double diff = d <= w ? d : w;
      if (diff <= 0.5 * ringAngleStep[inner]) {
        ++agreeing;
        if (agreeing >= kRingsToAgree) {
          consensusAngleDeg = a;
          return true;
        }
      }
    }
  }
  return false;
}

}  // namespace orvalis
