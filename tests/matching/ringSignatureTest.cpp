#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "matching/ringSignature.h"
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
  EXPECT_EQ(mean, (12.5 + 13.5 + 127.5 + 127.4999 + 0.5 + 0.4999999 + 254.5 + 255.0) / 8);

  EXPECT_EQ(ringHistogram(0, nullptr, histogram, mean), 0);
  EXPECT_EQ(mean, 0.0);
  EXPECT_EQ(std::vector<std::int32_t>(histogram, histogram + 256), std::vector<std::int32_t>(256, 0));
}

TEST(RingRadius, ProductBeforeDivisionAndUsableRange) {
  EXPECT_EQ(ringRadius(0, 40), 40.0 / 9);
  EXPECT_EQ(ringRadius(6, 0.7), (7 * 0.7) / 9);
  // Ring 1 of 0.4 has trunc(0.89) = 0 samples; ring 9 of 250.04 trunc(5000.8)
  // = 5000, of 250.06 5001, which would overflow a profile.
  const std::pair<double, bool> cases[] = {{0, false},      {0.4, false}, {1, true},    {250.04, true},
                                           {250.06, false}, {-5, false},  {NAN, false}, {INFINITY, false}};
  for (const auto& [radius, usable] : cases) EXPECT_EQ(ringRadiusUsable(radius), usable) << radius;
}

class TemplateSignature : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kWidth = 160, kHeight = 120;
  void SetUp() override {
    testing::splitIntoQuery(*workspace, testing::texturedPicture(kWidth, kHeight, 11));
    state.viewfinderX = 80;
    state.viewfinderY = 60;
    state.viewfinderRadius = 40;
  }
  std::unique_ptr<Workspace> workspace = testing::freshWorkspace(kWidth, kHeight);
  SearchState& state = workspace->state;
};

TEST_F(TemplateSignature, SamplesTheFilteredGrayPlaneAtTheViewfinder) {
  ASSERT_EQ(buildTemplateSignature(*workspace), 1);
  ASSERT_EQ(buildTemplateHistograms(state), 1);
  const std::uint8_t* gray = workspace->images.queryGray.data();
  EXPECT_EQ(state.templateCentreValue, gray[60 * kWidth + 80]);
  for (int ring = 0; ring < kRingCount; ++ring) {
    // Sample 0 straight above the centre; the sum of the samples is the mean.
    const std::uint32_t n = state.ringSampleCount[ring];
    EXPECT_EQ(state.templateRingProfile[ring][0],
              sampleBilinear(gray, kWidth, 60 - (ring + 1) * 40.0 / 9, 80));
    double sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) sum += state.templateRingProfile[ring][i];
    EXPECT_EQ(state.templateRingMean[ring], sum / n);
  }
  // Filtered: the gray plane differs from that of the raw planes, and the
  // filter radius takes effect at the next build.
  const ImageStore& im = workspace->images;
  int differences = 0;
  for (std::size_t i = 0; i < kWidth * kHeight; ++i)
    differences += (im.queryB[i] + im.queryG[i] + im.queryR[i]) / 3 != gray[i];
  EXPECT_GT(differences, 0);
  const double wide = state.templateRingProfile[8][100];
  state.filterRadius = 1;
  ASSERT_EQ(buildTemplateSignature(*workspace), 1);
  EXPECT_EQ(im.discMaskCount, 5u);
  EXPECT_NE(state.templateRingProfile[8][100], wide);
}

TEST_F(TemplateSignature, TakesAOnePixelMarginAndRefusesLessChangingNothing) {
  const struct {
    const char* what;
    std::uint32_t x, y, radius, filterRadius, width, height;
    bool builds;
  } cases[] = {
      {"one pixel from the top and right", kWidth - 2 - 40, 41, 40, 8, kWidth, kHeight, true},
      {"one pixel from the bottom and left", 41, kHeight - 2 - 40, 40, 8, kWidth, kHeight, true},
      {"radius 0", 80, 60, 0, 8, kWidth, kHeight, false},
      {"touches the top", 80, 40, 40, 8, kWidth, kHeight, false},
      {"touches the bottom", 80, kHeight - 1 - 40, 40, 8, kWidth, kHeight, false},
      {"touches the left", 40, 60, 40, 8, kWidth, kHeight, false},
      {"touches the right", kWidth - 1 - 40, 60, 40, 8, kWidth, kHeight, false},
      {"above the profile capacity", 80, 60, 251, 8, kWidth, kHeight, false},
      {"filter radius above the lists", 80, 60, 40, 21, kWidth, kHeight, false},
      {"picture beyond the store", 80, 60, 40, 8, 1921, 1200, false},
  };
  for (const auto& c : cases) {
    state.viewfinderX = c.x;
    state.viewfinderY = c.y;
    state.viewfinderRadius = c.radius;
    state.filterRadius = c.filterRadius;
    state.queryWidth = c.width;
    state.queryHeight = c.height;
    state.ringSampleCount[0] = 12345;
    state.templateCentreValue = -1;
    EXPECT_EQ(buildTemplateSignature(*workspace), c.builds) << c.what;
    if (c.builds) continue;
    EXPECT_EQ(state.templateCentreValue, -1) << c.what;
    EXPECT_EQ(state.ringSampleCount[0], 12345u) << c.what;
  }
  // Histograms of empty rings: refused, with means 0 rather than NaN.
  for (auto& count : state.ringSampleCount) count = 0;
  EXPECT_EQ(buildTemplateHistograms(state), 0);
  for (const double mean : state.templateRingMean) EXPECT_EQ(mean, 0.0);
}

}  // namespace
}  // namespace orvalis
