#pragma once

#include <cstdint>

#include "state/searchState.h"

namespace orvalis {

// The angle of cyclic shift s of a ring whose samples lie step radians apart,
// in degrees, as the alignment reports it.
inline double shiftAngleDegrees(std::uint32_t shift, double step) {
  return ((shift * step) * 180.0) / kPi;
}

// Finds the cyclic shift s that best maps the candidate profile onto the
// template profile, candidate sample j against template sample (j + s) mod
// count. A shift qualifies when no sample differs by more than colorTolerance;
// among qualifying shifts the smallest sum of absolute differences wins, and on
// equal sums the smallest shift (later ones must be strictly better).
// Returns true with the shift's angle in degrees, ((s x step) x 180) / kPi with
// step = 6.283185307 / count, written to angleDeg; false when no shift qualifies
// or count is 0, leaving angleDeg as it was.
[[nodiscard]] bool alignRing(const double* candidateProfile, std::uint32_t count,
                             const double* templateProfile, std::uint8_t colorTolerance, double& angleDeg);

// Aligns the nine rings in order into ringAngleDeg. Returns false at the first
// ring that has no qualifying shift (later rings keep older angles), else true.
[[nodiscard]] bool alignAllRings(SearchState& state);

// Looks for a ring angle that enough inner rings agree with. Writes
// ringAngleStep = 360 / ringSampleCount for every ring, then takes reference
// rings from index 8 down to kRingsToAgree: the first reference whose angle at
// least kRingsToAgree of the rings inside it (the reference itself not
// counted) lie within half of their own angular step of, circularly, gives
// consensusAngleDeg its angle and the result true. Otherwise false, and
// consensusAngleDeg keeps its value. A ring without samples gives false at once.
[[nodiscard]] bool agreeOnAngle(SearchState& state);

// The same over plain arrays of nine rings, for callers that keep their own
// angle scratch (the parallel scan gives each thread its own).
[[nodiscard]] bool agreeOnAngle(const std::uint32_t* ringSampleCount, const double* ringAngleDeg,
                                double* ringAngleStep, double& consensusAngleDeg);

}  // namespace orvalis
