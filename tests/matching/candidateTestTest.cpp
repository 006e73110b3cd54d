#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "matching/candidateTest.h"
#include "matching/ringSignature.h"
#include "tests/matching/matchingHelpers.h"

namespace orvalis {
namespace {

using testing::fillPlane;
using testing::freshWorkspace;
using Histogram = std::vector<std::int32_t>;

Histogram histogramOf(std::initializer_list<std::pair<int, int>> binsAndCounts) {
  Histogram histogram(256, 0);
  for (const auto& [bin, count] : binsAndCounts) histogram[bin] += count;
  return histogram;
}

class HistogramTransport : public ::testing::Test {
 protected:
  int transportable(const Histogram& candidate, const Histogram& templateHistogram, int tolerance) {
    state->colorTolerance = static_cast<std::uint8_t>(tolerance);
    return histogramsTransportable(*state, candidate.data(), templateHistogram.data());
  }
  std::unique_ptr<SearchState> state = std::make_unique<SearchState>();
};

TEST_F(HistogramTransport, IdenticalHistogramsPassAtAnyTolerance) {
  std::mt19937 rng(129);
  Histogram histogram(256);
  for (auto& bin : histogram) bin = static_cast<std::int32_t>(rng() % 4);
  histogram[0] = 3;
  histogram[255] = 5;  // both walks reach the last bin
  const Histogram copy = histogram;
  for (const int tolerance : {0, 2, 16, 40})
    EXPECT_EQ(transportable(histogram, copy, tolerance), 1) << tolerance;
  EXPECT_EQ(histogram, copy);
}

TEST_F(HistogramTransport, ToleranceIsInclusive) {
  const Histogram at100 = histogramOf({{100, 800}});
  EXPECT_EQ(transportable(histogramOf({{116, 800}}), at100, 16), 1);
  EXPECT_EQ(transportable(histogramOf({{117, 800}}), at100, 16), 0);
  EXPECT_EQ(transportable(histogramOf({{84, 800}}), at100, 16), 1);
  EXPECT_EQ(transportable(histogramOf({{83, 800}}), at100, 16), 0);
}

TEST_F(HistogramTransport, PairsTheSortedSamplesSmallestFirst) {
  const Histogram split = histogramOf({{0, 400}, {255, 400}});
  EXPECT_EQ(transportable(split, split, 16), 1);
  // Means 127.5 and 128, yet half of the samples would travel 128 levels.
  EXPECT_EQ(transportable(histogramOf({{128, 800}}), split, 16), 0);

  // 10 with 20 and 40 with 30: each moves 10.
  const Histogram candidate = histogramOf({{10, 5}, {40, 5}}), templateSide = histogramOf({{20, 5}, {30, 5}});
  EXPECT_EQ(transportable(candidate, templateSide, 10), 1);
  EXPECT_EQ(transportable(candidate, templateSide, 9), 0);

  // Partial bins: 3 x (10 -> 11), 2 x (12 -> 11), 5 x (12 -> 30).
  const Histogram partial = histogramOf({{10, 3}, {12, 7}}), target = histogramOf({{11, 5}, {30, 5}});
  EXPECT_EQ(transportable(partial, target, 18), 1);
  EXPECT_EQ(transportable(partial, target, 17), 0);
}

TEST_F(HistogramTransport, UnequalTotalsAnswerFromTheCandidateSide) {
  // The candidate empties first: everything it holds found a partner.
  EXPECT_EQ(transportable(histogramOf({{100, 5}}), histogramOf({{100, 5}, {200, 5}}), 16), 1);
  // The template runs out while candidate counts remain.
  EXPECT_EQ(transportable(histogramOf({{100, 5}, {200, 5}}), histogramOf({{100, 5}}), 16), 0);
  EXPECT_EQ(transportable(histogramOf({{255, 2}}), histogramOf({{255, 1}}), 16), 0);
}

// Archive plane constant 100, template signature of a constant 100 disc of
// radius 40; each test then moves one part of the template.
class CandidateTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kSize = 100;
  static constexpr double kRadius = 40, kRow = 50, kColumn = 50;
  void SetUp() override {
    workspace = freshWorkspace(kSize, kSize);
    SearchState& state = workspace->state;
    fillPlane(workspace->images.archiveGray, kSize, kSize, [](auto, auto) { return 100; });
    state.templateCentreValue = 100;
    for (int ring = 0; ring < kRingCount; ++ring) {
      const std::uint32_t n = static_cast<std::uint32_t>(ringRadius(ring, kRadius) * 20);
      std::vector<double> profile(n, 100.0);
      ringHistogram(n, profile.data(), state.templateRingHist[ring], state.templateRingMean[ring]);
    }
  }
  // Marks the candidate signature so that untouched rings can be told.
  void markCandidate() {
    SearchState& state = workspace->state;
    for (int ring = 0; ring < kRingCount; ++ring) {
      state.ringSampleCount[ring] = 7;
      state.candidateRingProfile[ring][0] = -1;
      state.candidateRingMean[ring] = -1;
    }
  }
  int test() { return testCandidate(*workspace, kRow, kColumn, kRadius); }
  std::unique_ptr<Workspace> workspace;
};

TEST_F(CandidateTest, IdenticalDiscPassesAndFillsTheSignature) {
  markCandidate();
  EXPECT_EQ(test(), 1);
  const SearchState& state = workspace->state;
  EXPECT_EQ(state.candidateCentreValue, 100.0);
  EXPECT_EQ(state.ringSampleCount[8], 800u);
  EXPECT_NEAR(state.candidateRingMean[8], 100.0, 1e-9);
  EXPECT_EQ(state.candidateRingHist[8][100], 800);
}

TEST_F(CandidateTest, CentreToleranceIsInclusiveAndDecidesBeforeAnyRing) {
  SearchState& state = workspace->state;
  state.templateCentreValue = 116;
  markCandidate();
  EXPECT_EQ(test(), 1);
  state.templateCentreValue = 84;
  EXPECT_EQ(test(), 1);

  state.templateCentreValue = 117;
  markCandidate();
  EXPECT_EQ(test(), 0);
  EXPECT_EQ(state.candidateCentreValue, 100.0);
  EXPECT_EQ(state.ringSampleCount[0], 7u);
  EXPECT_EQ(state.candidateRingProfile[0][0], -1);
}

TEST_F(CandidateTest, MeanToleranceIsATenthOfTheColourTolerance) {
  SearchState& state = workspace->state;
  state.templateRingMean[3] = 101.5;
  EXPECT_EQ(test(), 1);
  state.templateRingMean[3] = 98.5;
  EXPECT_EQ(test(), 1);
  state.templateRingMean[3] = 101.7;
  EXPECT_EQ(test(), 0);
  state.colorTolerance = 30;  // 3.0
  state.templateRingMean[3] = 102.9;
  EXPECT_EQ(test(), 1);
  state.templateRingMean[3] = 103.1;
  EXPECT_EQ(test(), 0);
}

TEST_F(CandidateTest, FailingRingLeavesTheOuterRingsUntouched) {
  SearchState& state = workspace->state;
  state.templateRingMean[4] = 110;
  markCandidate();
  EXPECT_EQ(test(), 0);
  for (int ring = 0; ring <= 4; ++ring) {
    EXPECT_EQ(state.ringSampleCount[ring], static_cast<std::uint32_t>(ringRadius(ring, kRadius) * 20))
        << ring;
    EXPECT_NE(state.candidateRingMean[ring], -1) << ring;
  }
  for (int ring = 5; ring < kRingCount; ++ring) {
    EXPECT_EQ(state.ringSampleCount[ring], 7u) << ring;
    EXPECT_EQ(state.candidateRingProfile[ring][0], -1) << ring;
    EXPECT_EQ(state.candidateRingMean[ring], -1) << ring;
  }
}

TEST_F(CandidateTest, HistogramDecidesWhenTheMeansAgree) {
  // Ring 2 of the template: half its samples 20 below, half 20 above the
  // archive's 100. Same mean, but every sample would have to move 20 levels.
  SearchState& state = workspace->state;
  const std::uint32_t n = static_cast<std::uint32_t>(ringRadius(2, kRadius) * 20);
  std::vector<double> profile(n);
  for (std::uint32_t i = 0; i < n; ++i) profile[i] = i % 2 ? 80.0 : 120.0;
  ringHistogram(n, profile.data(), state.templateRingHist[2], state.templateRingMean[2]);
  ASSERT_NEAR(state.templateRingMean[2], 100.0, 1e-9);
  markCandidate();
  EXPECT_EQ(test(), 0);
  EXPECT_EQ(state.ringSampleCount[2], n);
  EXPECT_EQ(state.ringSampleCount[3], 7u);
  state.colorTolerance = 20;
  EXPECT_EQ(test(), 1);
}

TEST_F(CandidateTest, RadiusWithEmptyRingsIsRefusedBeforeSampling) {
  SearchState& state = workspace->state;
  for (const double radius : {0.0, 0.3, -2.0}) {
    markCandidate();
    state.candidateCentreValue = -5;
    EXPECT_EQ(testCandidate(*workspace, kRow, kColumn, radius), 0) << radius;
    EXPECT_EQ(state.candidateCentreValue, -5) << radius;
    EXPECT_EQ(state.candidateRingMean[0], -1) << radius;
  }
}

}  // namespace
}  // namespace orvalis
