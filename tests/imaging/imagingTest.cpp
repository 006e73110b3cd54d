#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "imaging/bilinearSampling.h"
#include "imaging/circularMeanFilter.h"
#include "imaging/circularMeanFilterFast.h"
#include "imaging/glyphs.h"
#include "imaging/invertDisc.h"
#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"
#include "imaging/rotatePlane.h"
#include "state/constants.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::BgrPicture;

TEST(PixelConversions, GrayIsTheTruncatedUnweightedMeanInBlueGreenRedOrder) {
  // A weighted gray would give 10 for pure blue 90 and 76 for pure red 255.
  const Bytes picture = {0, 0, 2, 1, 2, 3, 255, 255, 255, 255, 255, 254, 90, 0, 0, 0, 0, 255};
  Bytes b(6), g(6), r(6), gray(6), bgr(18), back(6);
  splitPlanes(picture.data(), 6, 1, b.data(), g.data(), r.data());
  EXPECT_EQ(b, (Bytes{0, 1, 255, 255, 90, 0}));
  EXPECT_EQ(r, (Bytes{2, 3, 255, 254, 0, 255}));
  grayPlane(b.data(), g.data(), r.data(), 6, 1, gray.data());
  EXPECT_EQ(gray, (Bytes{0, 2, 255, 254, 30, 85}));
  grayToBgr(b.data(), g.data(), r.data(), 6, 1, bgr.data());
  splitPlanes(bgr.data(), 6, 1, b.data(), g.data(), back.data());
  EXPECT_EQ(back, gray);
  EXPECT_EQ(g, gray);
}

TEST(CircularMeanFilter, TakesTheClosedDiscCopiesTheBorderAndRoundsTheMeanToTheNearest) {
  // Cells at distance R belong to the disc: a strict < would give 1, 9, 25, 185, 1229.
  for (const auto& [radius, cells] :
       {std::pair{0u, 1u}, {1u, 5u}, {2u, 13u}, {3u, 29u}, {8u, 197u}, {20u, 1257u}}) {
    Bytes disc((2 * radius + 1) * (2 * radius + 1));
    std::uint32_t got = 0;
    buildDiscMask(radius, disc.data(), got);
    EXPECT_EQ(got, cells) << "radius " << radius;
  }
  // R = 1: the centre's five cells sum to 7 (1.4 -> 1) or 8 (1.6 -> 2, not
  // 1 as truncated); the corners don't count; the border is copied.
  Bytes mask(9);
  std::uint32_t count = 0;
  buildDiscMask(1, mask.data(), count);
  const struct {
    Bytes in;
    std::uint32_t width;
    Bytes expected;
  } cases[] = {{{0, 1, 0, 1, 3, 1, 0, 1, 0}, 3, {0, 1, 0, 1, 1, 1, 0, 1, 0}},
               {{250, 1, 250, 1, 4, 1, 250, 1, 250}, 3, {250, 1, 250, 1, 2, 1, 250, 1, 250}},
               {{9, 0, 1, 9, 1, 4, 1, 9, 9, 1, 0, 9}, 4, {9, 0, 1, 9, 1, 1, 3, 9, 9, 1, 0, 9}}};
  for (const auto& c : cases) {
    Bytes blue(c.in.size()), green(c.in.size(), 7), red(c.in.size());
    const Bytes zero(c.in.size(), 0);
    circularMeanFilter(c.in.data(), zero.data(), c.in.data(), blue.data(), green.data(), red.data(), c.width,
                       3, 1, mask.data(), count);
    EXPECT_EQ(blue, c.expected);
    EXPECT_EQ(green, zero);
    EXPECT_EQ(red, c.expected);
  }
}

// A texture with noise on top, so that every rounding case turns up.
BgrPicture busy(std::uint32_t width, std::uint32_t height, std::uint32_t radius) {
  BgrPicture picture = testing::texturedPicture(width, height, radius * 31 + width, 3.0);
  std::mt19937 rng(width * height);
  for (auto& byte : picture.pixels) byte = std::uint8_t(std::clamp(int(byte) + int(rng() % 81) - 40, 0, 255));
  return picture;
}

// The fast kernels against the plain ones on one picture: its planes, their
// gray and its picture, and the planes filtered.
void expectSameAsPlain(const BgrPicture& picture, std::uint32_t radius) {
  const std::uint32_t w = picture.width, h = picture.height;
  const std::size_t n = std::size_t{w} * h;
  static WorkerPool pool(3);
  static FilterMemory memory(pool.lanes());
  Bytes plain[8] = {Bytes(n), Bytes(n), Bytes(n), Bytes(n), Bytes(3 * n), Bytes(n), Bytes(n), Bytes(n)},
        fast[8];
  for (int k = 0; k < 8; ++k) fast[k].assign(plain[k].size(), 9);
  const auto p = [&](int k) { return plain[k].data(); };
  const auto f = [&](int k) { return fast[k].data(); };
  Bytes mask((2 * radius + 1) * (2 * radius + 1));
  std::uint32_t count = 0;
  buildDiscMask(radius, mask.data(), count);
  splitPlanes(picture.pixels.data(), w, h, p(0), p(1), p(2));
  splitPlanesFast(pool, picture.pixels.data(), w, h, f(0), f(1), f(2));
  grayPlane(p(0), p(1), p(2), w, h, p(3));
  grayPlaneFast(pool, p(0), p(1), p(2), w, h, f(3));
  grayToBgr(p(0), p(1), p(2), w, h, p(4));
  grayToBgrFast(pool, p(0), p(1), p(2), w, h, f(4));
  circularMeanFilter(p(0), p(1), p(2), p(5), p(6), p(7), w, h, radius, mask.data(), count);
  circularMeanFilterFast(pool, memory, p(0), p(1), p(2), f(5), f(6), f(7), w, h, radius, mask.data(), count);
  for (int k = 0; k < 8; ++k)
    EXPECT_TRUE(plain[k] == fast[k]) << "plane " << k << ", " << w << " x " << h << ", radius " << radius;
}

TEST(FastKernels, SameBytesAsThePlainOnes) {
  // Every radius on awkward sizes; pictures cut into tiles of columns and
  // pieces of rows, and shared out unevenly between lanes; all 255 for the
  // largest sums, and a checkerboard whose every disc sum is a multiple of 255.
  for (std::uint32_t radius = 1; radius <= kMaxFilterRadius; ++radius) {
    const std::uint32_t side = 2 * radius + 1;
    const std::uint32_t sizes[][2] = {{1, 1},       {5, 3},         {37, 29},      {131, 83},
                                      {side, side}, {side - 1, 50}, {50, side - 1}};
    for (const auto& [w, h] : sizes) expectSameAsPlain(busy(w, h, radius), radius);
  }
  expectSameAsPlain(busy(2150, 43, 20), 20);
  expectSameAsPlain(busy(700, 150, 12), 12);
  BgrPicture extreme = testing::solidPicture(90, 70, 255, 0, 0);
  for (std::size_t i = 0; i < 90 * 70; ++i) {
    extreme.pixels[3 * i + 1] = ((i / 90 + i % 90) % 2) ? 255 : 0;
    extreme.pixels[3 * i + 2] = static_cast<std::uint8_t>(i * 7919);
  }
  for (const std::uint32_t radius : {1u, 7u, 20u}) expectSameAsPlain(extreme, radius);
}

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
  // Viewfinder (20, 25): turned a quarter about a match at (30, 33), (20 + a,
  // 25 + b) shows (30 + b, 33 - a); scaled by 2, (20 + 2a, 25 + 2b).
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
  // Unshifted, the last row and column are copied; by -0.5 both ways, (0, 0)
  // is the 2 x 2 mean rounded half up; by -0.25 columns a pixel weighs 0.75
  // and its right neighbour 0.25, on the last row too.
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

// A disc inverted on black, row by row: first and last column and how many.
struct Spans {
  Spans(std::uint32_t width, std::uint32_t height, double row, double column, double radius)
      : bytes(3 * std::size_t{width} * height, 0), first(height, -1), last(height, -1), count(height, 0) {
    invertDisc(bytes.data(), width, height, row, column, radius);
    for (std::uint32_t y = 0; y < height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t* p = bytes.data() + 3 * (std::size_t{y} * width + x);
        EXPECT_TRUE((p[0] == 0 || p[0] == 255) && p[0] == p[1] && p[1] == p[2]) << "partial pixel";
        if (p[0] != 255) continue;
        if (count[y]++ == 0) first[y] = static_cast<int>(x);
        last[y] = static_cast<int>(x);
      }
      EXPECT_TRUE(count[y] == 0 || count[y] == last[y] - first[y] + 1) << "row " << y << " is broken";
      total += count[y];
    }
  }
  std::vector<std::uint8_t> bytes;
  std::vector<int> first, last, count;
  int total = 0;
};

TEST(InvertDisc, DrawsOnlyDiscsThatFitAndHaveAStep) {
  // 31 x 21: radius 10 touching the edges is drawn whole, leaving them by a
  // hair not at all; below r = 1/36 there are no steps (trunc(36 r) = 0).
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double row, column, radius;
    int total;
  } cases[] = {{10, 10, 10, 337}, {10, 20, 10, 337}, {9.5, 15, 10, 0},       {10.5, 15, 10, 0},
               {10, 9.5, 10, 0},  {10, 20.5, 10, 0}, {10 - 1e-9, 15, 10, 0}, {10, 20 + 1e-9, 10, 0},
               {10, 15, 0.02, 0}, {10, 15, -1, 0},   {10, 15, nan, 0},       {10, 15, 0.03, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(Spans(31, 21, c.row, c.column, c.radius).total, c.total)
        << c.row << ", " << c.column << ", " << c.radius;
  }
  EXPECT_EQ(Spans(31, 21, 10, 15, 0.03).first[10], 15);
  // Radius 10 a row lower: one top pixel to seven at the bottom, nothing around.
  const Spans s(31, 23, 11, 15, 10);
  EXPECT_EQ(s.count[0] + s.count[22], 0);
  for (const auto& [row, first, last] : {std::tuple{1, 15, 15}, {2, 12, 18}, {11, 5, 25}, {21, 12, 18}}) {
    EXPECT_EQ(s.first[row], first) << "row " << row;
    EXPECT_EQ(s.last[row], last) << "row " << row;
  }
}

TEST(Glyphs, MarkersOfAQuarterRadiusSitOneAndAHalfRadiiAway) {
  // Inverting the discs the glyph should hold restores a random picture.
  std::mt19937 rng(129);
  std::vector<std::uint8_t> original(3 * 240 * 200);
  for (auto& b : original) b = static_cast<std::uint8_t>(rng());
  const auto restored = [&](auto draw, std::initializer_list<std::array<double, 3>> discs) {
    std::vector<std::uint8_t> bytes = original;
    draw(bytes.data());
    for (const auto& [row, column, radius] : discs) invertDisc(bytes.data(), 240, 200, row, column, radius);
    return bytes == original;
  };
  // Radius 43: markers of radius 43 / 4 = 10 (not 10.75) at 64.5 (not 64).
  EXPECT_TRUE(restored([](std::uint8_t* p) { drawViewfinderGlyph(p, 240, 200, 100, 120, 43); },
                       {{120, 100, 43}, {120 - 64.5, 100, 10}, {120, 100 + 64.5, 10}}));
  // The match glyph's disc has the match radius, its markers the viewfinder's.
  EXPECT_TRUE(restored([](std::uint8_t* p) { drawMatchGlyph(p, 240, 200, 110, 100, 30.0, 0.0, 40); },
                       {{100, 110, 30}, {40, 110, 10}, {100, 170, 10}}));
}

}  // namespace
}  // namespace orvalis
