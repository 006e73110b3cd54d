#pragma once

#include <cstdint>

#include "matching/admissibleCentre.h"
#include "matching/lightCompensation.h"
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

// The match both scans report: the centre the refinement kept, the radius
// searched, and the consensus angle in radians. True, for the caller to return.
inline bool recordMatch(SearchState& state, double radius, std::int64_t row, std::int64_t column) {
  state.matchRadius = radius;
  state.matchY = static_cast<std::uint32_t>(row);
  state.matchX = static_cast<std::uint32_t>(column);
  state.matchAngle = (state.consensusAngleDeg * kPi) / 180.0;
  return true;
}

// The refinement walk both scans share: the window centred on the first hit
// in raster order, admissible centres only. tryCentre(k, l, bestScore) says
// whether the centre at row k, column l beats bestScore (lowering it when it
// does); the last that does is kept in bestRow, bestColumn. False when the
// scan is abandoned on the way.
template <typename TryCentre>
bool refineAroundFirstHit(const Workspace& workspace, std::int64_t firstRow, std::int64_t firstColumn,
                          double radius, std::uint32_t width, std::uint32_t height, double& bestScore,
                          std::int64_t& bestRow, std::int64_t& bestColumn, TryCentre&& tryCentre) {
  bestRow = firstRow;
  bestColumn = firstColumn;
  for (std::int64_t k = firstRow - kRefinementRadius; k <= firstRow + kRefinementRadius; ++k) {
    for (std::int64_t l = firstColumn - kRefinementRadius; l <= firstColumn + kRefinementRadius; ++l) {
      // A centre can take long on a picture without texture.
      if (workspace.abandonScan.load(std::memory_order_relaxed)) return false;
      if (!inRefinementWindow(k - firstRow, l - firstColumn)) continue;
      if (!isAdmissibleCentre(static_cast<double>(k), static_cast<double>(l), radius, width, height))
        continue;
      if (tryCentre(k, l, bestScore)) {
        bestRow = k;
        bestColumn = l;
      }
    }
  }
  return true;
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
// other with testCandidate, alignAllRings and agreeOnAngle on the search
// state: the reference the fast scan is held to.
[[nodiscard]] bool scanArchiveImageReference(Workspace& workspace, double radius);

// One pass of a scan that may report several copies or only some turns. The
// first acceptance starts at (startRow, startColumn) in raster order (the
// centres before it were rejected by the pass before) and, like the
// refinement, leaves alone every centre closer to an avoided centre than the
// smaller of the two radii; a centre whose consensus angle lies outside the
// profile's range is not accepted. The default pass is the plain scan.
struct ScanPass {
  const SearchProfile* profile = nullptr;  // null: every turn
  std::int64_t startRow = 0, startColumn = 0;
  const FoundMatch* avoid = nullptr;
  std::uint32_t avoidCount = 0;
  const LightModel* light = nullptr;  // not null: testCandidateLight for testCandidate
  // The copy's size against the template's: centres are admissible and
  // avoided for the radius x scale, and tested with testCandidateScaled.
  double scale = 1.0;
  // For the fast scan only (screenScales): centres marked 0 are known to fail
  // the test at this scale. The plain scan tests every centre.
  const std::uint8_t* screen = nullptr;
};

// Whether the pass leaves the centre alone because it lies near an avoided one.
bool passAvoids(const ScanPass& pass, std::int64_t row, std::int64_t column, double radius);

// Whether the pass takes a consensus angle.
inline bool passTakesAngle(const ScanPass& pass, double angleDeg) {
  return pass.profile == nullptr || angleAllowed(*pass.profile, angleDeg);
}

// What a pass found besides the match fields: the first accepted centre
// (where the next pass starts) and the reported centre's matchScore.
struct PassHit {
  std::int64_t firstRow = 0, firstColumn = 0;
  double score = 0;
};

// scanArchiveImageReference for one pass: the same fields set, plus hit.
[[nodiscard]] bool scanPassReference(Workspace& workspace, double radius, const ScanPass& pass, PassHit& hit);

}  // namespace orvalis
