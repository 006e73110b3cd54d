#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "imaging/bilinearSampling.h"
#include "imaging/rotatePlane.h"
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

Bytes turned(const Bytes& source, std::uint32_t w, std::uint32_t h, const RotationParameters& rotation) {
  Bytes out(source.size());
  rotatePlane(source.data(), out.data(), w, h, rotation);
  return out;
}

TEST(RotatePlane, TurnsAndScalesOntoWholePixels) {
  // Viewfinder at (row 20, column 25). Turned by a quarter about a match at
  // (30, 33), destination (20 + a, 25 + b) shows the source at (30 + b,
  // 33 - a); scaled by 2 about the viewfinder, (20 + 2a, 25 + 2b).
  std::mt19937 rng(129);
  Bytes source(61 * 53);
  for (auto& b : source) b = static_cast<std::uint8_t>(1 + rng() % 255);
  RotationParameters twice{0.0, 25, 20, 0, 0};
  twice.scale = 2;
  const Bytes quarter = turned(source, 61, 53, {kQuarterTurn, 25, 20, 25 - 33, 20 - 30});
  const Bytes doubled = turned(source, 61, 53, twice);
  for (int a = -10; a <= 10; ++a) {
    for (int b = -12; b <= 12; ++b) {
      ASSERT_EQ(quarter[(20 + a) * 61 + 25 + b], source[(30 + b) * 61 + 33 - a]) << a << ", " << b;
      ASSERT_EQ(doubled[(20 + a) * 61 + 25 + b], source[(20 + 2 * a) * 61 + 25 + 2 * b]) << a << ", " << b;
    }
  }
}

TEST(RotatePlane, ShiftsInterpolateRoundHalfUpAndGiveZeroOutside) {
  // Unshifted, the last row and column are copied. Shifted by -0.5 both
  // ways, (0, 0) reads the mean of the 2 x 2 block, rounded half up, and the
  // rest lies outside. Shifted by -0.25 columns, a pixel weighs itself 0.75
  // and its right neighbour 0.25, along the last row too, whose lower
  // neighbours must not be read.
  const struct {
    Bytes plane;
    std::uint32_t w, h;
    double shiftX, shiftY;
    Bytes expected;
  } cases[] = {{{9, 8, 7, 6, 5, 4}, 3, 2, 0, 0, {9, 8, 7, 6, 5, 4}},
               {{10, 10, 10, 11}, 2, 2, -0.5, -0.5, {10, 0, 0, 0}},
               {{10, 11, 11, 11}, 2, 2, -0.5, -0.5, {11, 0, 0, 0}},
               {{10, 10, 11, 11}, 2, 2, -0.5, -0.5, {11, 0, 0, 0}},
               {{10, 12, 40, 10, 11, 40}, 3, 2, -0.25, 0, {11, 19, 0, 10, 18, 0}}};
  for (const auto& c : cases)
    EXPECT_EQ(turned(c.plane, c.w, c.h, {0.0, 0, 0, c.shiftX, c.shiftY}), c.expected);
}

}  // namespace
}  // namespace orvalis
