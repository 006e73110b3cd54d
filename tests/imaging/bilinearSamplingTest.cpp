#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/bilinearSampling.h"
#include "state/constants.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SampleBilinear, BlendsTheFourNeighboursByTheirDistance) {
  const Bytes corners = {0, 100, 50, 13};  // 2 x 2
  EXPECT_EQ(sampleBilinear(corners.data(), 2, 0.5, 0.5), 40.75);
  EXPECT_EQ(sampleBilinear(corners.data(), 2, 0.0, 0.25), 25.0);
  EXPECT_EQ(sampleBilinear(corners.data(), 2, 0.25, 0.0), 12.5);
  EXPECT_EQ(sampleBilinear(corners.data(), 2, 0.75, 0.5), 36.125);  // 100 / 8 + 50 x 3 / 8 + 13 x 3 / 8
}

TEST(SampleRing, CountIsTwentyTimesTheRadiusTruncated) {
  const Bytes plane(600 * 600, 0);
  std::vector<double> profile(kMaxRingSamples + 1, -1.0);
  const std::pair<double, std::uint32_t> cases[] = {{0.04, 0},       {-3.0, 0},    {std::nan(""), 0},
                                                    {0.05, 1},       {1.04, 20},   {40.0 / 9, 88},
                                                    {80.0 / 9, 177}, {250.0, 5000}};
  for (const auto& [radius, expected] : cases) {
    std::uint32_t count = 99;
    sampleRing(plane.data(), 600, 300, 300, radius, profile.data(), count);
    EXPECT_EQ(count, expected) << radius;
    EXPECT_EQ(profile[expected], -1.0) << radius << ": sampled past the count";
  }
}

}  // namespace
}  // namespace orvalis
