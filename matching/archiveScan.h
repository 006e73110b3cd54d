#pragma once

#include "state/searchState.h"
#include "state/workspace.h"

namespace orvalis {

// Half-size of the refinement window around the first accepted centre: the
// window holds the 317 whole offsets (dy, dx) with dy^2 + dx^2 <= 10^2.
inline constexpr int kRefinementRadius = 10;

// Whether the offset (dy, dx) from the first accepted centre lies in the
// refinement window.
inline bool inRefinementWindow(std::int64_t dy, std::int64_t dx) {
  return dy * dy + dx * dx <= kRefinementRadius * kRefinementRadius;
}

// How well a centre that has just passed testCandidate fits: the sum over the
// nine rings, in ring order, of |candidateRingMean - templateRingMean|. Lower
// is better.
double matchScore(const SearchState& state);
double matchScore(const double* candidateRingMean, const double* templateRingMean);

// Searches archiveGray for the template region of the given radius (the
// viewfinder radius): the admissible centres in raster order until the first
// passes testCandidate, alignAllRings and agreeOnAngle, then the refinement
// window centred on that first hit, where a centre replaces the best one only
// with a strictly lower matchScore and then a successful rotation estimate.
// Sets matchFound; on a match also matchX, matchY, matchRadius and matchAngle
// (radians, consensusAngleDeg x kPi / 180). Without a match only matchFound
// changes. Returns matchFound. A radius outside ringRadiusUsable, or a size
// beyond the store, finds nothing. Written plainly, one centre after the
// other with
// testCandidate, alignAllRings and agreeOnAngle on the search state: the
// reference the fast scan is held to.
[[nodiscard]] bool scanArchiveImageReference(Workspace& workspace, double radius);

}  // namespace orvalis
