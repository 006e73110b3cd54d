// What every scan must do, run with each kernel set on its own.

#include <gtest/gtest.h>

#include <cmath>

#include "matching/admissibleCentre.h"
#include "matching/archiveScan.h"
#include "matching/searchSteps.h"
#include "tests/matching/matchingHelpers.h"

namespace orvalis {
namespace {

using testing::fillPlane;

TEST(AdmissibleCentre, KeepsTheDiscAndOnePixelInside) {
  // R = 40 on 320 x 240: rows 41..198, columns 41..278.
  const struct {
    double row, column;
    bool admissible;
  } cases[] = {{41, 41, true},    {198, 278, true}, {40, 100, false},
               {199, 100, false}, {100, 40, false}, {100, 279, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(isAdmissibleCentre(c.row, c.column, 40, 320, 240), c.admissible) << c.row << ", " << c.column;
  }
  EXPECT_EQ(isAdmissibleCentre(1, 1, 0, 1, 1), 0);  // no wrap-around on tiny pictures
}

TEST(MatchScore, SumsTheAbsoluteRingMeanDifferences) {
  // A: one ring 3 below; B: four rings 1 above. Absolute sums rank A first
  // (3 < 4), squared ones B (9 > 4).
  const double templateMeans[kRingCount] = {50, 60, 70, 80, 90, 100, 110, 120, 130};
  double a[kRingCount], b[kRingCount];
  for (int ring = 0; ring < kRingCount; ++ring) a[ring] = b[ring] = templateMeans[ring];
  a[4] -= 3;
  for (int ring = 0; ring < 4; ++ring) b[ring] += 1;
  EXPECT_EQ(matchScore(a, templateMeans), 3.0);
  EXPECT_EQ(matchScore(b, templateMeans), 4.0);
}

class Scan : public ::testing::TestWithParam<Kernels> {
 protected:
  // A template of pure black: every ring sample is exactly 0, so a candidate
  // whose samples stay within the tolerance of 0 passes at shift 0, and its
  // score is the sum of its ring means. The archive plane shapes the search.
  std::unique_ptr<Workspace> blackTemplate(std::uint32_t width, std::uint32_t height, std::uint32_t radius) {
    auto workspace = testing::freshWorkspace(width, height, GetParam());
    SearchState& state = workspace->state;
    state.viewfinderX = width / 2;
    state.viewfinderY = height / 2;
    state.viewfinderRadius = radius;
    EXPECT_EQ(buildTemplateSignature(*workspace), 1);
    EXPECT_EQ(buildTemplateHistograms(state), 1);
    state.matchX = state.matchY = 7;
    state.matchAngle = 0.7;
    return workspace;
  }
};

TEST_P(Scan, FirstAdmissibleCentreWinsAndNothingBeyondTheLastIsVisited) {
  // Black from (top, left) to the bottom-right corner. All black, every
  // centre scores 0: none later replaces the first. From (158, 238) only the
  // disc at (198, 278), the last admissible centre, is black; from (159, 239)
  // only (199, 279) would be, and it is not admissible: without a match the
  // old result stays.
  const std::uint32_t cases[][5] = {{0, 0, 1, 41, 41}, {158, 238, 1, 198, 278}, {159, 239, 0, 7, 7}};
  for (const auto& [top, left, found, row, column] : cases) {
    auto workspace = blackTemplate(320, 240, 40);
    fillPlane(workspace->images.archiveGray, 320, 240,
              [&](auto y, auto x) { return y >= top && x >= left ? 0 : 255; });
    EXPECT_EQ(scanArchiveImage(*workspace, 40), int(found)) << top;
    const SearchState& state = workspace->state;
    EXPECT_EQ(state.matchY, row) << top;
    EXPECT_EQ(state.matchX, column) << top;
    EXPECT_EQ(state.matchAngle, found ? 0.0 : 0.7) << top;
  }
}

TEST_P(Scan, RefinementIsTheDiscOfRadiusTenAroundTheFirstHit) {
  // A faint haze (gray 1) whose edge the score falls towards, so that the
  // best centre of the window lies on its border. Haze left of column 40:
  // from the first hit (21, 21) the best is (21, 31), where a window that
  // followed the best centre would walk on. Haze where 3 row + 4 column < 207:
  // the best is offset (6, 8) at distance exactly 10; a square window would
  // reach (10, 10), and offset (8, 7), better still, lies outside.
  const struct {
    std::uint32_t height;
    int (*haze)(std::uint32_t, std::uint32_t);
    std::uint32_t row, column;
  } cases[] = {{80, [](std::uint32_t, std::uint32_t x) { return x < 40 ? 1 : 0; }, 21, 31},
               {120, [](std::uint32_t y, std::uint32_t x) { return 3 * y + 4 * x < 207 ? 1 : 0; }, 27, 29}};
  for (const auto& c : cases) {
    auto workspace = blackTemplate(200, c.height, 20);
    fillPlane(workspace->images.archiveGray, 200, c.height, c.haze);
    ASSERT_EQ(scanArchiveImage(*workspace, 20), 1);
    EXPECT_EQ(workspace->state.matchY, c.row);
    EXPECT_EQ(workspace->state.matchX, c.column);
  }
}

INSTANTIATE_TEST_SUITE_P(EachKernelSet, Scan, ::testing::Values(Kernels::Fast, Kernels::Reference),
                         [](const auto& kernels) {
                           return kernels.param == Kernels::Fast ? "Fast" : "Reference";
                         });

}  // namespace
}  // namespace orvalis
