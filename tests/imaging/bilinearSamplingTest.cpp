#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/bilinearSampling.h"
#include "state/constants.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SampleBilinear, BlendsTheFourNeighboursInTheOrderThatFixesTheRounding) {
  const Bytes corners = {0, 100, 50, 13};  // 2 x 2
  EXPECT_EQ(sampleBilinear(corners.data(), 2, 0.5, 0.5), (0 + 100 + 50 + 13) / 4.0);
  EXPECT_EQ(sampleBilinear(corners.data(), 2, 0.0, 0.25), 25.0);
  EXPECT_EQ(sampleBilinear(corners.data(), 2, 0.25, 0.0), 12.5);
  // Both samplers of the scan evaluate the same sum to the last bit, the four
  // terms in the order p00, p11, p01, p10: on a busy plane many positions
  // round differently in row order.
  std::mt19937 rng(5);
  Bytes plane(64 * 64);
  for (auto& v : plane) v = static_cast<std::uint8_t>(rng());
  std::uniform_real_distribution<double> position(0.0, 62.999);
  int otherOrder = 0;
  for (int k = 0; k < 2000; ++k) {
    const double row = position(rng), column = position(rng);
    const double r0 = std::floor(row), c0 = std::floor(column);
    const double fy = row - r0, gy = (r0 + 1.0) - row, fx = column - c0, gx = (c0 + 1.0) - column;
    const std::uint8_t* top = plane.data() + static_cast<std::size_t>(r0) * 64 + static_cast<std::size_t>(c0);
    const double p00 = top[0], p01 = top[1], p10 = top[64], p11 = top[65];
    const double expected = p00 * (gx * gy) + p11 * (fx * fy) + p01 * (fx * gy) + p10 * (gx * fy);
    const double rowOrder = p00 * (gx * gy) + p01 * (fx * gy) + p10 * (gx * fy) + p11 * (fx * fy);
    const double got = sampleBilinear(plane.data(), 64, row, column);
    ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << "at " << row << ", " << column;
    otherOrder += rowOrder != expected;
  }
  EXPECT_GT(otherOrder, 20);
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
