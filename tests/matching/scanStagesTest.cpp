// The stages of the scan, and what every scan must do with each kernel set.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "matching/archiveScan.h"
#include "matching/candidateTest.h"
#include "matching/ringSignature.h"
#include "matching/rotationEstimate.h"
#include "matching/searchSteps.h"
#include "tests/matching/matchingHelpers.h"

namespace orvalis {
namespace {

TEST(RingHistogram, RoundsHalfUpAndAnEmptyRingHasMeanZero) {
  // Half-even would put 12.5 in 12 and 0.5 in 0.
  const std::vector<double> profile = {12.5, 13.5, 127.5, 127.4999, 0.5, 0.4999999, 254.5, 255.0};
  std::int32_t histogram[256];
  double mean = -1;
  ASSERT_EQ(ringHistogram(static_cast<std::uint32_t>(profile.size()), profile.data(), histogram, mean), 1);
  std::vector<std::int32_t> expected(256, 0);
  for (const int bin : {13, 14, 128, 127, 1, 0, 255, 255}) ++expected[bin];
  EXPECT_EQ(std::vector<std::int32_t>(histogram, histogram + 256), expected);
  EXPECT_NEAR(mean, 791.4998999 / 8, 1e-12);

  EXPECT_EQ(ringHistogram(0, nullptr, histogram, mean), 0);
  EXPECT_EQ(mean, 0.0);
  EXPECT_EQ(std::vector<std::int32_t>(histogram, histogram + 256), std::vector<std::int32_t>(256, 0));
}

TEST(RingRadius, UsableRange) {
  // Ring 9 of 250.04 has 5000 samples, of 250.06 5001, past a profile's end.
  const std::pair<double, bool> cases[] = {{0, false},      {0.4, false}, {1, true},    {250.04, true},
                                           {250.06, false}, {-5, false},  {NAN, false}, {INFINITY, false}};
  for (const auto& [radius, usable] : cases) EXPECT_EQ(ringRadiusUsable(radius), usable) << radius;
}

TEST(TemplateSignature, IsRefusedWhereItCantBeSampledSoundly) {
  // Viewfinder column, row and radius, filter radius, width, height, builds.
  const std::uint32_t cases[][7] = {{118, 41, 40, 8, 160, 120, 1}, {119, 60, 40, 8, 160, 120, 0},
                                    {80, 60, 0, 8, 160, 120, 0},   {80, 60, 251, 8, 160, 120, 0},
                                    {80, 60, 40, 21, 160, 120, 0}, {80, 60, 40, 8, 1921, 1200, 0}};
  auto workspace = testing::freshWorkspace(160, 120);
  SearchState& state = workspace->state;
  testing::splitInto(*workspace, testing::texturedPicture(160, 120, 11), false);
  for (const auto& [x, y, radius, filter, width, height, builds] : cases) {
    std::tie(state.viewfinderX, state.viewfinderY, state.viewfinderRadius, state.filterRadius,
             state.queryWidth, state.queryHeight) = std::tie(x, y, radius, filter, width, height);
    EXPECT_EQ(buildTemplateSignature(*workspace), builds == 1) << x << ", " << radius << ", " << width;
  }
}

using Histogram = std::vector<std::int32_t>;

Histogram histogramOf(std::initializer_list<std::pair<int, int>> binsAndCounts) {
  Histogram histogram(256, 0);
  for (const auto& [bin, count] : binsAndCounts) histogram[bin] += count;
  return histogram;
}

TEST(HistogramTransport, PairsTheSortedSamplesWithinTheTolerance) {
  const struct {
    const char* what;
    Histogram candidate, templateSide;
    int tolerance;
    bool transportable;
  } cases[] = {
      {"16 above, inclusive", histogramOf({{116, 800}}), histogramOf({{100, 800}}), 16, true},
      {"17 above", histogramOf({{117, 800}}), histogramOf({{100, 800}}), 16, false},
      {"16 below", histogramOf({{84, 800}}), histogramOf({{100, 800}}), 16, true},
      {"17 below", histogramOf({{83, 800}}), histogramOf({{100, 800}}), 16, false},
      {"split ends", histogramOf({{0, 400}, {255, 400}}), histogramOf({{0, 400}, {255, 400}}), 0, true},
      // Means 128 and 127.5, yet half of the samples would travel 128 levels.
      {"same mean", histogramOf({{128, 800}}), histogramOf({{0, 400}, {255, 400}}), 16, false},
      {"crossing", histogramOf({{10, 5}, {40, 5}}), histogramOf({{20, 5}, {30, 5}}), 10, true},
      {"crossing, 9", histogramOf({{10, 5}, {40, 5}}), histogramOf({{20, 5}, {30, 5}}), 9, false},
      // 3 x (10 -> 11), 2 x (12 -> 11), 5 x (12 -> 30).
      {"partial bins", histogramOf({{10, 3}, {12, 7}}), histogramOf({{11, 5}, {30, 5}}), 18, true},
      {"partial bins, 17", histogramOf({{10, 3}, {12, 7}}), histogramOf({{11, 5}, {30, 5}}), 17, false},
      {"candidate empties first", histogramOf({{100, 5}}), histogramOf({{100, 5}, {200, 5}}), 16, true},
      {"template runs out", histogramOf({{100, 5}, {200, 5}}), histogramOf({{100, 5}}), 16, false},
      {"top bin runs out", histogramOf({{255, 2}}), histogramOf({{255, 1}}), 16, false},
  };
  auto state = std::make_unique<SearchState>();
  for (const auto& c : cases) {
    state->colorTolerance = static_cast<std::uint8_t>(c.tolerance);
    EXPECT_EQ(histogramsTransportable(*state, c.candidate.data(), c.templateSide.data()), c.transportable)
        << c.what;
  }
}

TEST(CandidateTest, EachToleranceIsInclusiveAndTheHistogramDecidesWhenMeansAgree) {
  // Archive plane constant 100 and the template of its disc of radius 40.
  auto workspace = testing::freshWorkspace(100, 100);
  SearchState& state = workspace->state;
  testing::fillPlane(workspace->images.archiveGray, 100, 100, [](auto, auto) { return 100; });
  testing::templateFromArchive(*workspace, 50, 50, 40);
  const auto test = [&](double radius = 40) { return testCandidate(*workspace, 50, 50, radius); };
  EXPECT_EQ(test(), 1);
  for (const double radius : {0.0, 0.3, -2.0}) EXPECT_EQ(test(radius), 0) << radius;  // empty rings
  for (const auto& [centre, passes] : {std::pair{116.0, 1}, {84.0, 1}, {117.0, 0}}) {
    state.templateCentreValue = centre;
    EXPECT_EQ(test(), passes) << centre;
  }
  state.templateCentreValue = 100;
  // Ring means within a tenth of the colour tolerance: 1.6, then 3.0.
  for (const auto& [tolerance, mean, passes] :
       {std::tuple{16, 101.5, 1}, {16, 98.5, 1}, {16, 101.7, 0}, {30, 102.9, 1}, {30, 103.1, 0}}) {
    state.colorTolerance = static_cast<std::uint8_t>(tolerance);
    state.templateRingMean[3] = mean;
    EXPECT_EQ(test(), passes) << tolerance << ", " << mean;
  }
  state.templateRingMean[3] = 100;
  // Ring 2 half 20 below, half 20 above: the same mean, but 20 levels apart.
  const std::uint32_t n = state.ringSampleCount[2];
  std::vector<double> profile(n);
  for (std::uint32_t i = 0; i < n; ++i) profile[i] = i % 2 ? 80.0 : 120.0;
  ringHistogram(n, profile.data(), state.templateRingHist[2], state.templateRingMean[2]);
  state.colorTolerance = 19;
  EXPECT_EQ(test(), 0);
  state.colorTolerance = 20;
  EXPECT_EQ(test(), 1);
}

TEST(AlignRing, FindsTheShiftWithTheSmallestSumAndGivesItsAngle) {
  // A random walk; a noisy sine, where several shifts qualify, the true one sums least.
  std::mt19937 rng(5);
  std::vector<double> textured(800), smooth(711);
  double walk = 128;
  for (auto& v : textured)
    v = walk = std::fmin(250, std::fmax(5, walk + static_cast<double>(rng() % 21) - 10));
  for (std::uint32_t j = 0; j < 711; ++j) smooth[j] = 128 + 100 * std::sin(j * 6.283185307 / 711);
  const struct {
    const std::vector<double>& profile;
    std::uint32_t shift, noise;
    double degrees;
  } cases[] = {{textured, 0, 0, 0.0},
               {textured, 1, 0, 0.45},
               {textured, 200, 0, 90.0},
               {textured, 799, 0, 359.55},
               {smooth, 178, 3, 178 * 360.0 / 711}};
  for (const auto& c : cases) {
    const auto n = static_cast<std::uint32_t>(c.profile.size());
    std::vector<double> candidate(n);
    for (std::uint32_t j = 0; j < n; ++j)
      candidate[j] = c.profile[(j + c.shift) % n] + static_cast<double>(rng() % (2 * c.noise + 1)) - c.noise;
    double angle = -1;
    ASSERT_TRUE(alignRing(candidate.data(), n, c.profile.data(), 16, angle));
    EXPECT_NEAR(angle, c.degrees, 1e-7);
  }
}

TEST(AgreeOnAngle, IsTheOutermostReferenceWithFourInnerRingsWithinHalfTheirStep) {
  auto state = std::make_unique<SearchState>();
  const std::uint32_t counts[9] = {88, 177, 266, 355, 444, 533, 622, 711, 800};  // R = 40
  const struct {
    const char* what;
    std::vector<double> angles;
    std::uint32_t count, outerCount;  // 0: the counts of R = 40
    double consensus;                 // -1: none
  } cases[] = {
      {"all agree", {90.2, 90.1, 90.1, 90.1, 90.1, 90.1, 90.1, 90.1, 90.0}, 0, 0, 90.0},
      // Ring 8 has rings 6, 5, 4; ring 7 has rings 3..0.
      {"three give way", {50, 50, 50, 50, 10, 10, 10, 50, 10}, 0, 0, 50},
      {"innermost reference is ring 4", {10, 10, 10, 10, 10, 100, 150, 200, 250}, 0, 0, 10},
      {"the reference itself is not counted", {10, 10, 10, 300, 10, 100, 150, 200, 250}, 0, 0, -1},
      {"circular", {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 359.9}, 0, 0, 359.9},
      // 0.2 apart: within half of ring 8's step, not of the inner rings'.
      {"the inner ring's step", {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 359.9}, 1000, 100, 0.1},
      {"exactly half a step", {1.8, 1.8, 1.8, 1.8, 9, 9, 9, 9, 0}, 100, 100, 0},
      {"a touch over half a step", {1.81, 1.81, 1.81, 1.81, 9, 9, 9, 9, 0}, 100, 100, -1},
  };
  for (const auto& c : cases) {
    for (int ring = 0; ring < 9; ++ring) {
      state->ringSampleCount[ring] = c.count == 0 ? counts[ring] : ring == 8 ? c.outerCount : c.count;
      state->ringAngleDeg[ring] = c.angles[ring];
    }
    state->consensusAngleDeg = -1;
    EXPECT_EQ(agreeOnAngle(*state), c.consensus != -1) << c.what;
    EXPECT_EQ(state->consensusAngleDeg, c.consensus) << c.what;
  }
}

TEST(MatchScore, SumsTheAbsoluteRingMeanDifferences) {
  // One ring 3 below scores 3, four rings 1 above 4: squares would rank them the other way.
  const double t[kRingCount] = {50, 60, 70, 80, 90, 100, 110, 120, 130};
  const double a[kRingCount] = {50, 60, 70, 80, 87, 100, 110, 120, 130};
  const double b[kRingCount] = {51, 61, 71, 81, 90, 100, 110, 120, 130};
  EXPECT_EQ(matchScore(a, t), 3.0);
  EXPECT_EQ(matchScore(b, t), 4.0);
}

class Scan : public ::testing::TestWithParam<Kernels> {
 protected:
  // A template of pure black: a candidate's score is the sum of its ring means.
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
  // Black from (top, left) on, R = 40 on 320 x 240: the first centre, (41,
  // 41), wins a tie; (198, 278) is the last admissible one, a row or a column
  // further is not; no match keeps the old result.
  const std::uint32_t cases[][5] = {
      {0, 0, 1, 41, 41}, {158, 238, 1, 198, 278}, {159, 238, 0, 7, 7}, {158, 239, 0, 7, 7}};
  for (const auto& [top, left, found, row, column] : cases) {
    auto workspace = blackTemplate(320, 240, 40);
    testing::fillPlane(workspace->images.archiveGray, 320, 240,
                       [&](auto y, auto x) { return y >= top && x >= left ? 0 : 255; });
    EXPECT_EQ(scanArchiveImage(*workspace, 40), int(found)) << top;
    const SearchState& s = workspace->state;
    EXPECT_EQ(std::vector<double>({double(s.matchY), double(s.matchX), s.matchAngle}),
              std::vector<double>({double(row), double(column), found ? 0.0 : 0.7}))
        << top << ", " << left;
  }
}

TEST_P(Scan, RefinementIsTheDiscOfRadiusTenAroundTheFirstHit) {
  // Haze of gray 1 whose edge the score falls towards: left of column 40 the
  // best is (21, 31), where a window that followed it would walk on; where
  // 3 row + 4 column < 207, offset (6, 8) at exactly 10, not (8, 7) beyond.
  const struct {
    std::uint32_t height;
    int (*haze)(std::uint32_t, std::uint32_t);
    std::uint32_t row, column;
  } cases[] = {{80, [](std::uint32_t, std::uint32_t x) { return x < 40 ? 1 : 0; }, 21, 31},
               {120, [](std::uint32_t y, std::uint32_t x) { return 3 * y + 4 * x < 207 ? 1 : 0; }, 27, 29}};
  for (const auto& c : cases) {
    auto workspace = blackTemplate(200, c.height, 20);
    testing::fillPlane(workspace->images.archiveGray, 200, c.height, c.haze);
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
