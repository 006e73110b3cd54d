#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "imaging/rotatePlane.h"
#include "state/constants.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Planes are held in vectors of exactly width x height bytes, so that the
// sanitizer build catches any read past the last row or column.
struct Plane {
  Plane(std::uint32_t w, std::uint32_t h) : width(w), height(h), bytes(std::size_t{w} * h) {}
  std::uint8_t at(std::uint32_t row, std::uint32_t column) const {
    return bytes[std::size_t{row} * width + column];
  }
  std::uint32_t width, height;
  Bytes bytes;
};

Plane randomPlane(std::uint32_t w, std::uint32_t h) {
  std::mt19937 rng(129);
  Plane p(w, h);
  for (auto& b : p.bytes) b = static_cast<std::uint8_t>(1 + rng() % 255);  // never 0
  return p;
}

Plane turned(const Plane& source, const RotationParameters& rotation) {
  Plane out(source.width, source.height);
  rotatePlane(source.bytes.data(), out.bytes.data(), source.width, source.height, rotation);
  return out;
}

// The parameters set after a match at (matchX, matchY) for a viewfinder at
// (viewfinderX, viewfinderY).
RotationParameters afterMatch(double angle, double viewfinderX, double viewfinderY, double matchX,
                              double matchY) {
  return {angle, viewfinderX, viewfinderY, viewfinderX - matchX, viewfinderY - matchY};
}

TEST(RotatePlane, NoTurnAndNoShiftCopiesThePlaneIncludingItsLastRowAndColumn) {
  const Plane source = randomPlane(37, 23);
  EXPECT_EQ(turned(source, afterMatch(0.0, 12, 9, 12, 9)).bytes, source.bytes);
}

TEST(RotatePlane, AShiftOfFiveColumnsMovesThePlaneLeftAndZeroesTheRightEdge) {
  const Plane source = randomPlane(37, 23);
  const Plane out = turned(source, afterMatch(0.0, 12, 9, 17, 9));
  for (std::uint32_t i = 0; i < source.height; ++i) {
    for (std::uint32_t j = 0; j < source.width; ++j) {
      const std::uint8_t expected = j + 5 < source.width ? source.at(i, j + 5) : 0;
      ASSERT_EQ(out.at(i, j), expected) << "at " << i << ", " << j;
    }
  }
}

TEST(RotatePlane, AQuarterTurnBringsRowsBelowTheMatchToTheRightOfTheViewfinder) {
  // Viewfinder at (row 20, column 25), match at (row 30, column 33).
  const Plane source = randomPlane(61, 53);
  const Plane out = turned(source, afterMatch(kQuarterTurn, 25, 20, 33, 30));
  // Destination (20 + a, 25 + b) shows the archive at (30 + b, 33 - a):
  // d columns right of the viewfinder is d rows below the match, d rows above
  // it is d columns right of the match.
  for (int a = -15; a <= 15; ++a) {
    for (int b = -15; b <= 15; ++b) {
      ASSERT_EQ(out.at(20 + a, 25 + b), source.at(30 + b, 33 - a)) << "offset " << a << ", " << b;
    }
  }
}

TEST(RotatePlane, FollowsTheTurnOfTheMatchAtAnyAngle) {
  // On a linear ramp the interpolation is exact, so each destination pixel
  // must hold the ramp at the position the match formula names:
  // row matchY + cos A di + sin A dj, column matchX - sin A di + cos A dj.
  Plane ramp(60, 60);
  for (std::uint32_t i = 0; i < 60; ++i) {
    for (std::uint32_t j = 0; j < 60; ++j) ramp.bytes[i * 60 + j] = static_cast<std::uint8_t>(i + 2 * j);
  }
  for (double angle : {0.3, -1.1, 2.5}) {
    const Plane out = turned(ramp, afterMatch(angle, 28, 31, 30, 27));
    for (int di = -12; di <= 12; ++di) {
      for (int dj = -12; dj <= 12; ++dj) {
        const double row = 27 + std::cos(angle) * di + std::sin(angle) * dj;
        const double column = 30 - std::sin(angle) * di + std::cos(angle) * dj;
        const double expected = row + 2 * column;
        ASSERT_NEAR(out.at(31 + di, 28 + dj), expected, 0.5 + 1e-6)
            << "angle " << angle << " offset " << di << ", " << dj;
      }
    }
  }
}

TEST(RotatePlane, PositionsOutsideThePlaneGiveZeroEvenByAHair) {
  const Plane source = randomPlane(19, 17);
  // Shifted down by a hair: row 0 reads row -1e-9, outside; row 1 reads
  // just above row 1 and rounds to it.
  const Plane down = turned(source, {0.0, 5, 5, 0, 1e-9});
  // Shifted up by a hair: the last row reads just past the last row.
  const Plane up = turned(source, {0.0, 5, 5, 0, -1e-9});
  // The same on the columns.
  const Plane right = turned(source, {0.0, 5, 5, 1e-9, 0});
  const Plane left = turned(source, {0.0, 5, 5, -1e-9, 0});
  for (std::uint32_t k = 0; k < 17; ++k) {
    EXPECT_EQ(down.at(0, k), 0) << k;
    EXPECT_EQ(down.at(1, k), source.at(1, k)) << k;
    EXPECT_EQ(up.at(16, k), 0) << k;
    EXPECT_EQ(up.at(15, k), source.at(15, k)) << k;
    EXPECT_EQ(right.at(k, 0), 0) << k;
    EXPECT_EQ(right.at(k, 1), source.at(k, 1)) << k;
    EXPECT_EQ(left.at(k, 18), 0) << k;
    EXPECT_EQ(left.at(k, 17), source.at(k, 17)) << k;
  }
}

TEST(RotatePlane, RoundsTheInterpolatedValueHalfUp) {
  // Shifted by -0.5 both ways, destination (0, 0) reads the centre of the
  // 2 x 2 block: the mean of its four pixels, rounded half up.
  struct Case {
    Bytes block;
    std::uint8_t expected;
  };
  for (const Case& c : {Case{{10, 10, 10, 11}, 10}, Case{{10, 11, 11, 11}, 11}, Case{{10, 10, 11, 11}, 11}}) {
    Plane source(2, 2);
    source.bytes = c.block;
    const Plane out = turned(source, {0.0, 0, 0, -0.5, -0.5});
    EXPECT_EQ(out.at(0, 0), c.expected);
    EXPECT_EQ(out.at(0, 1), 0);  // column 1.5 is outside
    EXPECT_EQ(out.at(1, 0), 0);
  }
}

TEST(RotatePlane, WeighsTheNearerNeighbourMoreAlongTheLastRow) {
  // Shifted by -0.25 columns: each pixel reads 0.75 of itself and 0.25 of its
  // right neighbour. Row 1 is the last row: its lower neighbours do not exist
  // and must not be read.
  Plane source(3, 2);
  source.bytes = {10, 12, 40, 10, 11, 40};
  const Plane out = turned(source, {0.0, 0, 0, -0.25, 0});
  EXPECT_EQ(out.at(0, 0), 11);  // 10.5 rounds up
  EXPECT_EQ(out.at(1, 0), 10);  // 10.25
  EXPECT_EQ(out.at(0, 1), 19);  // 0.75 x 12 + 0.25 x 40 = 19
  EXPECT_EQ(out.at(1, 2), 0);   // column 2.25 is outside
}

}  // namespace
}  // namespace orvalis
