#include <gtest/gtest.h>

#include <vector>

#include "matching/candidateTest.h"
#include "tests/matching/matchingHelpers.h"

namespace orvalis {
namespace {

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
      // 10 with 20 and 40 with 30, not 10 with 30.
      {"crossing", histogramOf({{10, 5}, {40, 5}}), histogramOf({{20, 5}, {30, 5}}), 10, true},
      {"crossing, 9", histogramOf({{10, 5}, {40, 5}}), histogramOf({{20, 5}, {30, 5}}), 9, false},
      // 3 x (10 -> 11), 2 x (12 -> 11), 5 x (12 -> 30).
      {"partial bins", histogramOf({{10, 3}, {12, 7}}), histogramOf({{11, 5}, {30, 5}}), 18, true},
      {"partial bins, 17", histogramOf({{10, 3}, {12, 7}}), histogramOf({{11, 5}, {30, 5}}), 17, false},
      // Unequal totals answer from the candidate side.
      {"candidate empties first", histogramOf({{100, 5}}), histogramOf({{100, 5}, {200, 5}}), 16, true},
      {"template runs out", histogramOf({{100, 5}, {200, 5}}), histogramOf({{100, 5}}), 16, false},
      {"top bin runs out", histogramOf({{255, 2}}), histogramOf({{255, 1}}), 16, false},
  };
  auto state = std::make_unique<SearchState>();
  for (const auto& c : cases) {
    state->colorTolerance = static_cast<std::uint8_t>(c.tolerance);
    const Histogram candidate = c.candidate, templateSide = c.templateSide;
    EXPECT_EQ(histogramsTransportable(*state, candidate.data(), templateSide.data()), c.transportable)
        << c.what;
    EXPECT_EQ(candidate, c.candidate) << c.what << ": the arguments stay as they are";
  }
}

// Archive plane constant 100 and the template of that plane's disc of radius
// 40; each test then moves one part of the template.
class CandidateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::fillPlane(workspace->images.archiveGray, 100, 100, [](auto, auto) { return 100; });
    testing::templateFromArchive(*workspace, 50, 50, 40);
  }
  // Marks the candidate signature so that untouched rings can be told.
  int test(double radius = 40) {
    for (int ring = 0; ring < kRingCount; ++ring) {
      state.ringSampleCount[ring] = 7;
      state.candidateRingMean[ring] = -1;
    }
    state.candidateCentreValue = -5;
    return testCandidate(*workspace, 50, 50, radius);
  }
  std::unique_ptr<Workspace> workspace = testing::freshWorkspace(100, 100);
  SearchState& state = workspace->state;
};

TEST_F(CandidateTest, EachToleranceIsInclusive) {
  EXPECT_EQ(test(), 1);
  EXPECT_EQ(state.ringSampleCount[8], 800u);
  EXPECT_EQ(state.candidateRingHist[8][100], 800);
  for (const auto& [centre, passes] : {std::pair{116.0, 1}, {84.0, 1}, {117.0, 0}}) {
    state.templateCentreValue = centre;
    EXPECT_EQ(test(), passes) << centre;
  }
  // The centre value decides before any ring is sampled.
  EXPECT_EQ(state.candidateCentreValue, 100.0);
  EXPECT_EQ(state.ringSampleCount[0], 7u);
  state.templateCentreValue = 100;
  // Ring means within a tenth of the colour tolerance: 1.6, then 3.0.
  for (const auto& [tolerance, mean, passes] :
       {std::tuple{16, 101.5, 1}, {16, 98.5, 1}, {16, 101.7, 0}, {30, 102.9, 1}, {30, 103.1, 0}}) {
    state.colorTolerance = static_cast<std::uint8_t>(tolerance);
    state.templateRingMean[3] = mean;
    EXPECT_EQ(test(), passes) << tolerance << ", " << mean;
  }
}

TEST_F(CandidateTest, AFailingRingEndsTheTestAndTheHistogramDecidesWhenMeansAgree) {
  // Ring 2 of the template: half its samples 20 below, half 20 above the
  // archive's 100. Same mean, but every sample would have to move 20 levels.
  const std::uint32_t n = state.ringSampleCount[2];
  std::vector<double> profile(n);
  for (std::uint32_t i = 0; i < n; ++i) profile[i] = i % 2 ? 80.0 : 120.0;
  ringHistogram(n, profile.data(), state.templateRingHist[2], state.templateRingMean[2]);
  EXPECT_EQ(test(), 0);
  EXPECT_EQ(state.ringSampleCount[2], n);
  EXPECT_NE(state.candidateRingMean[2], -1);
  EXPECT_EQ(state.ringSampleCount[3], 7u);
  EXPECT_EQ(state.candidateRingMean[3], -1);
  state.colorTolerance = 20;
  EXPECT_EQ(test(), 1);
  // A radius with empty rings is refused before anything is sampled.
  for (const double radius : {0.0, 0.3, -2.0}) {
    EXPECT_EQ(test(radius), 0) << radius;
    EXPECT_EQ(state.candidateCentreValue, -5) << radius;
  }
}

}  // namespace
}  // namespace orvalis
