#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/bilinearSampling.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "tests/matching/matchingHelpers.h"

namespace orvalis {
namespace {

using testing::fillPlane;
using testing::freshWorkspace;

TEST(RingHistogram, RoundsHalfUp) {
  // Half-even would put 12.5 in 12 and 0.5 in 0.
  const std::vector<double> profile = {12.5, 13.5, 127.5, 127.4999, 0.5, 0.4999999, 254.5, 255.0};
  std::int32_t histogram[256];
  double mean = -1;
  ASSERT_EQ(ringHistogram(static_cast<std::uint32_t>(profile.size()), profile.data(), histogram, mean), 1);
  std::vector<std::int32_t> expected(256, 0);
  for (const int bin : {13, 14, 128, 127, 1, 0, 255, 255}) ++expected[bin];
  EXPECT_EQ(std::vector<std::int32_t>(histogram, histogram + 256), expected);
  double sum = 0;
  for (const double v : profile) sum += v;
  EXPECT_EQ(mean, sum / profile.size());
}

TEST(RingHistogram, WhiteRingFillsTheTopBin) {
  const std::vector<double> profile(800, 255.0);
  std::int32_t histogram[256];
  double mean = 0;
  ringHistogram(800, profile.data(), histogram, mean);
  EXPECT_EQ(histogram[255], 800);
  for (int bin = 0; bin < 255; ++bin) ASSERT_EQ(histogram[bin], 0);
  EXPECT_EQ(mean, 255.0);
}

TEST(RingHistogram, EmptyRingGivesNoMeanInsteadOfNaN) {
  std::int32_t histogram[256];
  for (auto& bin : histogram) bin = 9;
  double mean = 42;
  EXPECT_EQ(ringHistogram(0, nullptr, histogram, mean), 0);
  EXPECT_EQ(mean, 0.0);
  for (const auto bin : histogram) ASSERT_EQ(bin, 0);
}

TEST(RingRadius, ProductBeforeDivisionAndUsableRange) {
  EXPECT_EQ(ringRadius(0, 40), 40.0 / 9);
  EXPECT_EQ(ringRadius(8, 40), 40.0);
  EXPECT_EQ(ringRadius(6, 0.7), (7 * 0.7) / 9);

  EXPECT_EQ(ringRadiusUsable(0), 0);
  EXPECT_EQ(ringRadiusUsable(0.4), 0);  // ring 1: trunc(0.89) = 0 samples
  EXPECT_EQ(ringRadiusUsable(1), 1);
  EXPECT_EQ(ringRadiusUsable(250), 1);     // ring 9: exactly 5000 samples
  EXPECT_EQ(ringRadiusUsable(250.04), 1);  // trunc(5000.8)
  EXPECT_EQ(ringRadiusUsable(250.06), 0);  // 5001 would overflow a profile
  EXPECT_EQ(ringRadiusUsable(-5), 0);
  EXPECT_EQ(ringRadiusUsable(std::nan("")), 0);
  EXPECT_EQ(ringRadiusUsable(INFINITY), 0);
}

class TemplateSignature : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kWidth = 160, kHeight = 120;
  void SetUp() override {
    workspace = freshWorkspace(kWidth, kHeight);
    testing::splitIntoQuery(*workspace, testing::texturedPicture(kWidth, kHeight, 11));
    SearchState& state = workspace->state;
    state.viewfinderX = 80;
    state.viewfinderY = 60;
    state.viewfinderRadius = 40;
  }
  std::unique_ptr<Workspace> workspace;
};

TEST_F(TemplateSignature, SamplesTheFilteredGrayPlaneAtTheViewfinder) {
  SearchState& state = workspace->state;
  ASSERT_EQ(buildTemplateSignature(*workspace), 1);
  ASSERT_EQ(buildTemplateHistograms(state), 1);

  const std::uint8_t* gray = workspace->images.queryGray.data();
  EXPECT_EQ(state.templateCentreValue, gray[60 * kWidth + 80]);
  const std::uint32_t counts[9] = {88, 177, 266, 355, 444, 533, 622, 711, 800};
  for (int ring = 0; ring < 9; ++ring) {
    const std::uint32_t n = state.ringSampleCount[ring];
    ASSERT_EQ(n, counts[ring]);
    // Sample 0 is straight above the centre.
    EXPECT_EQ(state.templateRingProfile[ring][0],
              sampleBilinear(gray, kWidth, 60 - (ring + 1) * 40.0 / 9, 80));
    std::int32_t total = 0;
    double sum = 0;
    for (int bin = 0; bin < 256; ++bin) total += state.templateRingHist[ring][bin];
    for (std::uint32_t i = 0; i < n; ++i) sum += state.templateRingProfile[ring][i];
    EXPECT_EQ(total, static_cast<std::int32_t>(n));
    EXPECT_EQ(state.templateRingMean[ring], sum / n);
  }

  // The gray plane is that of the filtered planes: an unfiltered textured
  // picture differs from it somewhere.
  std::size_t differences = 0;
  for (std::size_t i = 0; i < kWidth * kHeight; ++i) {
    const int raw =
        (workspace->images.queryB[i] + workspace->images.queryG[i] + workspace->images.queryR[i]) / 3;
    if (raw != gray[i]) ++differences;
  }
  EXPECT_GT(differences, 0u);
}

TEST_F(TemplateSignature, FilterRadiusTakesEffectAtTheNextBuild) {
  SearchState& state = workspace->state;
  state.filterRadius = 1;
  ASSERT_EQ(buildTemplateSignature(*workspace), 1);
  EXPECT_EQ(workspace->images.discMaskCount, 5u);
  const double narrow = state.templateRingProfile[8][100];
  state.filterRadius = 8;
  ASSERT_EQ(buildTemplateSignature(*workspace), 1);
  EXPECT_EQ(workspace->images.discMaskCount, 197u);
  EXPECT_NE(state.templateRingProfile[8][100], narrow);
}

TEST_F(TemplateSignature, ViewfinderWithAOnePixelMarginIsAccepted) {
  SearchState& state = workspace->state;
  // y - r = 1 and x + r = w - 2 are inside.
  state.viewfinderY = 41;
  state.viewfinderX = kWidth - 2 - 40;
  EXPECT_EQ(buildTemplateSignature(*workspace), 1);
  state.viewfinderY = kHeight - 2 - 40;
  state.viewfinderX = 41;
  EXPECT_EQ(buildTemplateSignature(*workspace), 1);
}

TEST_F(TemplateSignature, RefusesWhatItCannotSampleAndChangesNothing) {
  SearchState& state = workspace->state;
  struct Case {
    const char* what;
    std::uint32_t x, y, radius, filterRadius;
  };
  const Case cases[] = {
      {"radius 0", 80, 60, 0, 8},
      {"touches the top", 80, 40, 40, 8},
      {"touches the bottom", 80, kHeight - 1 - 40, 40, 8},
      {"touches the left", 40, 60, 40, 8},
      {"touches the right", kWidth - 1 - 40, 60, 40, 8},
      {"above the profile capacity", 80, 60, 251, 8},
      {"filter radius above the lists", 80, 60, 40, 21},
  };
  for (const Case& c : cases) {
    state.viewfinderX = c.x;
    state.viewfinderY = c.y;
    state.viewfinderRadius = c.radius;
    state.filterRadius = c.filterRadius;
    for (auto& count : state.ringSampleCount) count = 12345;
    state.templateCentreValue = -1;
    EXPECT_EQ(buildTemplateSignature(*workspace), 0) << c.what;
    EXPECT_EQ(state.templateCentreValue, -1) << c.what;
    EXPECT_EQ(state.ringSampleCount[0], 12345u) << c.what;
    EXPECT_EQ(workspace->images.queryGray[60 * kWidth + 80], 0) << c.what;
  }

  // Histograms of empty rings: refused, with means 0 rather than NaN.
  for (auto& count : state.ringSampleCount) count = 0;
  EXPECT_EQ(buildTemplateHistograms(state), 0);
  for (const double mean : state.templateRingMean) EXPECT_EQ(mean, 0.0);
}

TEST(TemplateSignatureSizes, RefusesAPictureBeyondTheStore) {
  auto workspace = freshWorkspace(1921, 1200);
  workspace->state.viewfinderX = 500;
  workspace->state.viewfinderY = 500;
  workspace->state.viewfinderRadius = 100;
  EXPECT_EQ(buildTemplateSignature(*workspace), 0);
}

}  // namespace
}  // namespace orvalis
