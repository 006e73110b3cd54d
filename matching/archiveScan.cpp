#include "matching/archiveScan.h"

#include <cmath>
#include <cstdint>

#include "matching/admissibleCentre.h"
#include "matching/candidateTest.h"
#include "matching/ringSignature.h"
#include "matching/rotationEstimate.h"

namespace orvalis {

double matchScore(const SearchState& state) {
  return matchScore(state.candidateRingMean, state.templateRingMean);
}

double matchScore(const double* candidateRingMean, const double* templateRingMean) {
  double score = 0.0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    score = score + std::fabs(candidateRingMean[ring] - templateRingMean[ring]);
  }
  return score;
}

namespace {

// The full acceptance of a centre: candidate test, ring alignment, consensus,
// each run only when the one before passed.
int acceptCentre(Workspace& workspace, double row, double column, double radius) {
  return testCandidate(workspace, row, column, radius) && alignAllRings(workspace.state) &&
                 agreeOnAngle(workspace.state)
             ? 1
             : 0;
}

}  // namespace

bool scanArchiveImageReference(Workspace& workspace, double radius) {
  SearchState& state = workspace.state;
  const std::uint32_t width = state.archiveWidth;
  const std::uint32_t height = state.archiveHeight;
  state.matchFound = 0;
  if (!ringRadiusUsable(radius) || !fitsImageCapacity(width, height)) return 0;

  // First acceptance, in raster order.
  bool accepted = false;
  std::int64_t firstRow = 0, firstColumn = 0;
  workspace.scanRowsDone = 0;
  workspace.scanRows = height;
  for (std::int64_t i = 0; i < height && !accepted; ++i, workspace.scanRowsDone.fetch_add(1)) {
    if (workspace.abandonScan.load(std::memory_order_relaxed)) return false;
    for (std::int64_t j = 0; j < width; ++j) {
      const double row = static_cast<double>(i);
      const double column = static_cast<double>(j);
      if (!isAdmissibleCentre(row, column, radius, width, height)) continue;
      if (acceptCentre(workspace, row, column, radius)) {
        accepted = true;
        firstRow = i;
        firstColumn = j;
        break;
      }
    }
  }
  if (!accepted) return 0;

  // The candidate signature still holds the first hit's values.
  state.matchFound = 1;
  double bestScore = matchScore(state);

  // Refinement: the window stays centred on the first hit. The score is
  // compared before the dear rotation estimate, which therefore runs only for
  // a centre about to become the best; so the last consensus belongs to it.
  std::int64_t bestRow = 0, bestColumn = 0;
  const bool whole = refineAroundFirstHit(
      workspace, firstRow, firstColumn, radius, width, height, bestScore, bestRow, bestColumn,
      [&](std::int64_t k, std::int64_t l, double& best) {
        if (!testCandidate(workspace, static_cast<double>(k), static_cast<double>(l), radius)) return false;
        const double score = matchScore(state);
        if (!(score < best && alignAllRings(state) && agreeOnAngle(state))) return false;
        best = score;
        return true;
      });
  if (!whole) {
    state.matchFound = 0;
    return false;
  }

  return recordMatch(state, radius, bestRow, bestColumn);
}

}  // namespace orvalis
