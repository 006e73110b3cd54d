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
  EXPECT_NEAR(mean, 791.4998999 / 8, 1e-12);

  EXPECT_EQ(ringHistogram(0, nullptr, histogram, mean), 0);
  EXPECT_EQ(mean, 0.0);
  EXPECT_EQ(std::vector<std::int32_t>(histogram, histogram + 256), std::vector<std::int32_t>(256, 0));
}

TEST(RingRadius, UsableRange) {
  // Ring 1 of 0.4 has trunc(0.89) = 0 samples; ring 9 of 250.04 trunc(5000.8)
  // = 5000, of 250.06 5001, which would overflow a profile.
  const std::pair<double, bool> cases[] = {{0, false},      {0.4, false}, {1, true},    {250.04, true},
                                           {250.06, false}, {-5, false},  {NAN, false}, {INFINITY, false}};
  for (const auto& [radius, usable] : cases) EXPECT_EQ(ringRadiusUsable(radius), usable) << radius;
}

TEST(TemplateSignature, IsRefusedChangingNothingWhereItCantBeSampledSoundly) {
  // The one-pixel margin itself is isAdmissibleCentre's; here, that the
  // viewfinder is held to it the right way round, and the other refusals.
  const struct {
    const char* what;
    std::uint32_t x, y, radius, filterRadius, width, height;
    bool builds;
  } cases[] = {
      {"one pixel from the top and the right", 160 - 2 - 40, 41, 40, 8, 160, 120, true},
      {"touches the right", 160 - 1 - 40, 60, 40, 8, 160, 120, false},
      {"radius 0", 80, 60, 0, 8, 160, 120, false},
      {"above the profile capacity", 80, 60, 251, 8, 160, 120, false},
      {"filter radius above the lists", 80, 60, 40, 21, 160, 120, false},
      {"picture beyond the store", 80, 60, 40, 8, 1921, 1200, false},
  };
  auto workspace = testing::freshWorkspace(160, 120);
  SearchState& state = workspace->state;
  testing::splitIntoQuery(*workspace, testing::texturedPicture(160, 120, 11));
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
