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
bool passTest(Workspace& workspace, double row, double column, double radius, const ScanPass& pass) {
  return pass.light != nullptr ? testCandidateLight(workspace, row, column, radius, pass.scale, *pass.light)
                               : testCandidateScaled(workspace, row, column, radius, pass.scale);
}

int acceptCentre(Workspace& workspace, double row, double column, double radius, const ScanPass& pass) {
  return passTest(workspace, row, column, radius, pass) && alignAllRings(workspace.state) &&
                 agreeOnAngle(workspace.state) && passTakesAngle(pass, workspace.state.consensusAngleDeg)
             ? 1
             : 0;
}

}  // namespace

bool passAvoids(const ScanPass& pass, std::int64_t row, std::int64_t column, double radius) {
  for (std::uint32_t m = 0; m < pass.avoidCount; ++m) {
    const FoundMatch& found = pass.avoid[m];
    const double dy = static_cast<double>(row) - found.y, dx = static_cast<double>(column) - found.x;
    const double near = radius < found.radius ? radius : found.radius;
    if (dy * dy + dx * dx < near * near) return true;
  }
  return false;
}

bool scanArchiveImageReference(Workspace& workspace, double radius) {
  PassHit hit;
  return scanPassReference(workspace, radius, ScanPass{}, hit);
}

bool scanPassReference(Workspace& workspace, double radius, const ScanPass& pass, PassHit& hit) {
  SearchState& state = workspace.state;
  const std::uint32_t width = state.archiveWidth;
  const std::uint32_t height = state.archiveHeight;
  state.matchFound = 0;
  if (!ringRadiusUsable(radius) || !fitsImageCapacity(width, height)) return 0;
  const double regionRadius = radius * pass.scale;

  // First acceptance, in raster order.
  bool accepted = false;
  // A consensus outside the pass's turns is no match: it must leave no angle.
  const double consensusBefore = state.consensusAngleDeg;
  std::int64_t firstRow = 0, firstColumn = 0;
  workspace.scanRowsDone = 0;
  workspace.scanRows = height;
  for (std::int64_t i = pass.startRow; i < height && !accepted; ++i, workspace.scanRowsDone.fetch_add(1)) {
    if (workspace.abandonScan.load(std::memory_order_relaxed)) return false;
    for (std::int64_t j = i == pass.startRow ? pass.startColumn : 0; j < width; ++j) {
      const double row = static_cast<double>(i);
      const double column = static_cast<double>(j);
      if (!isAdmissibleCentre(row, column, regionRadius, width, height)) continue;
      if (passAvoids(pass, i, j, regionRadius)) continue;
      if (acceptCentre(workspace, row, column, radius, pass)) {
        accepted = true;
        firstRow = i;
        firstColumn = j;
        break;
      }
    }
  }
  if (!accepted) {
    state.consensusAngleDeg = consensusBefore;
    return 0;
  }

  // The candidate signature still holds the first hit's values.
  state.matchFound = 1;
  double bestScore = matchScore(state);
  double bestAngle = state.consensusAngleDeg;

  // Refinement: the window stays centred on the first hit. The score is
  // compared before the dear rotation estimate, which therefore runs only for
  // a centre about to become the best; so the last consensus belongs to it.
  std::int64_t bestRow = 0, bestColumn = 0;
  const bool whole = refineAroundFirstHit(
      workspace, firstRow, firstColumn, regionRadius, width, height, bestScore, bestRow, bestColumn,
      [&](std::int64_t k, std::int64_t l, double& best) {
        if (passAvoids(pass, k, l, regionRadius)) return false;
        if (!passTest(workspace, static_cast<double>(k), static_cast<double>(l), radius, pass)) return false;
        const double score = matchScore(state);
        if (!(score < best && alignAllRings(state) && agreeOnAngle(state) &&
              passTakesAngle(pass, state.consensusAngleDeg))) {
          return false;
        }
        best = score;
        bestAngle = state.consensusAngleDeg;
        return true;
      });
  if (!whole) {
    state.matchFound = 0;
    return false;
  }

  state.consensusAngleDeg = bestAngle;
  hit.firstRow = firstRow;
  hit.firstColumn = firstColumn;
  hit.score = bestScore;
  return recordMatch(state, radius, bestRow, bestColumn);
}

}  // namespace orvalis
