#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/bilinearSampling.h"
#include "state/constants.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A plane whose value is its column (or its row), so that a bilinear sample
// reads back the position it was taken at.
Bytes rampPlane(std::uint32_t width, std::uint32_t height, bool byRow) {
  Bytes plane(width * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) plane[y * width + x] = static_cast<std::uint8_t>(byRow ? y : x);
  }
  return plane;
}

TEST(SampleBilinear, WholePositionsReturnThePixelExactly) {
  const Bytes plane = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};  // 4 x 3
  for (std::uint32_t y = 0; y < 2; ++y) {
    for (std::uint32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(sampleBilinear(plane.data(), 4, y, x), plane[y * 4 + x]);
    }
  }
}

TEST(SampleBilinear, BlendsTheFourNeighbours) {
  const Bytes plane = {0, 100, 7, 50, 13, 9};  // 3 x 2
  // Halfway: the mean of the four.
  EXPECT_DOUBLE_EQ(sampleBilinear(plane.data(), 3, 0.5, 0.5), (0 + 100 + 50 + 13) / 4.0);
  // A quarter along a row: 0.75 p(y, x) + 0.25 p(y, x + 1).
  EXPECT_DOUBLE_EQ(sampleBilinear(plane.data(), 3, 0.0, 1.25), 0.75 * 100 + 0.25 * 7);
  // A quarter down a column.
  EXPECT_DOUBLE_EQ(sampleBilinear(plane.data(), 3, 0.25, 1.0), 0.75 * 100 + 0.25 * 13);
  // Each weight goes to its own corner.
  EXPECT_DOUBLE_EQ(sampleBilinear(plane.data(), 3, 0.1, 0.3),
                   0 * 0.7 * 0.9 + 100 * 0.3 * 0.9 + 50 * 0.7 * 0.1 + 13 * 0.3 * 0.1);
}

TEST(SampleBilinear, ConstantPlaneGivesItsValueUpToTheLastPlaces) {
  const Bytes plane(16 * 16, 201);
  for (double row = 0; row < 15; row += 0.37) {
    for (double column = 0; column < 15; column += 0.41) {
      const double v = sampleBilinear(plane.data(), 16, row, column);
      ASSERT_NEAR(v, 201.0, 1e-12);
      ASSERT_EQ(std::floor(v + 0.5), 201.0);
    }
  }
}

TEST(SampleRing, CountIsTwentyTimesTheRadiusTruncated) {
  const Bytes plane(64 * 64, 0);
  std::vector<double> profile(kMaxRingSamples + 1, -1.0);
  std::uint32_t count = 99;
  sampleRing(plane.data(), 64, 30, 30, 0.04, profile.data(), count);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(profile[0], -1.0);
  sampleRing(plane.data(), 64, 30, 30, -3.0, profile.data(), count);
  EXPECT_EQ(count, 0u);
  sampleRing(plane.data(), 64, 30, 30, std::nan(""), profile.data(), count);
  EXPECT_EQ(count, 0u);
  sampleRing(plane.data(), 64, 30, 30, 0.05, profile.data(), count);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(profile[1], -1.0);
  sampleRing(plane.data(), 64, 30, 30, 1.0, profile.data(), count);
  EXPECT_EQ(count, 20u);
  sampleRing(plane.data(), 64, 30, 30, 20.0 / 9.0, profile.data(), count);
  EXPECT_EQ(count, 44u);
}

TEST(SampleRing, SingleSampleLiesAtTheTop) {
  // Radius 0.05 gives one sample at (Y - 0.05, X).
  const Bytes rows = rampPlane(8, 8, true);
  std::vector<double> profile(4);
  std::uint32_t count = 0;
  sampleRing(rows.data(), 8, 4, 3, 0.05, profile.data(), count);
  ASSERT_EQ(count, 1u);
  EXPECT_NEAR(profile[0], 3.95, 1e-12);
}

TEST(SampleRing, StartsAtTheTopAndTurnsToTheLeft) {
  const std::uint32_t w = 240, h = 240;
  const Bytes columns = rampPlane(w, h, false), rows = rampPlane(w, h, true);
  const double y = 120, x = 119, r = 100;
  std::vector<double> byColumn(kMaxRingSamples), byRow(kMaxRingSamples);
  std::uint32_t count = 0, countAgain = 0;
  sampleRing(columns.data(), w, y, x, r, byColumn.data(), count);
  sampleRing(rows.data(), w, y, x, r, byRow.data(), countAgain);
  ASSERT_EQ(count, 2000u);
  ASSERT_EQ(countAgain, 2000u);

  // Top, left, bottom, right, up to rounding.
  EXPECT_NEAR(byRow[0], y - r, 1e-9);
  EXPECT_NEAR(byColumn[0], x, 1e-9);
  EXPECT_NEAR(byRow[500], y, 1e-6);
  EXPECT_NEAR(byColumn[500], x - r, 1e-6);
  EXPECT_NEAR(byRow[1000], y + r, 1e-6);
  EXPECT_NEAR(byColumn[1000], x, 1e-6);
  EXPECT_NEAR(byRow[1500], y, 1e-6);
  EXPECT_NEAR(byColumn[1500], x + r, 1e-6);

  // Every sample sits at angle i x (6.283185307 / count): the last one stands
  // a step before the top, and with the full-precision turn it would be off by
  // about 2e-8 pixels.
  const double step = 6.283185307 / count;
  for (std::uint32_t i = 0; i < count; ++i) {
    ASSERT_NEAR(byRow[i], y - r * std::cos(i * step), 1e-10) << i;
    ASSERT_NEAR(byColumn[i], x - r * std::sin(i * step), 1e-10) << i;
  }
  const double fullPrecision = x - r * std::sin((count - 1) * (2 * M_PI / count));
  EXPECT_GT(std::fabs(byColumn[count - 1] - fullPrecision), 1e-9);
}

TEST(SampleRing, RingCountsOfTheViewfinderRadii) {
  const Bytes plane(600 * 600, 0);
  std::vector<double> profile(kMaxRingSamples);
  const std::pair<double, std::vector<std::uint32_t>> cases[] = {
      {40, {88, 177, 266, 355, 444, 533, 622, 711, 800}},
      {100, {222, 444, 666, 888, 1111, 1333, 1555, 1777, 2000}},
      {250, {555, 1111, 1666, 2222, 2777, 3333, 3888, 4444, 5000}},
  };
  for (const auto& [regionRadius, counts] : cases) {
    for (int k = 1; k <= 9; ++k) {
      std::uint32_t count = 0;
      sampleRing(plane.data(), 600, 300, 300, (k * regionRadius) / 9, profile.data(), count);
      EXPECT_EQ(count, counts[k - 1]) << "R " << regionRadius << " ring " << k;
    }
  }
}

}  // namespace
}  // namespace orvalis
