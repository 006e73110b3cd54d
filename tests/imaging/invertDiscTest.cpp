#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "imaging/glyphs.h"
#include "imaging/invertDisc.h"
#include "state/constants.h"

namespace orvalis {
namespace {

// The inverted pixels of a BGR picture of zeros drawn with one disc, row by
// row: first and last column and how many (each row must be one span).
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
  // 31 x 21: radius 10 touching the top and bottom rows and the left or the
  // right column is drawn whole; leaving by half a pixel or by a hair, it is
  // not. trunc(36 x r) = 0 below r = 1/36; negative and NaN radii never fit;
  // one step is the single top point, the centre pixel.
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
  // Radius 10 a row lower: from one top pixel to seven at the bottom, and
  // nothing above or below.
  const Spans s(31, 23, 11, 15, 10);
  EXPECT_EQ(s.count[0] + s.count[22], 0);
  for (const auto& [row, first, last] : {std::tuple{1, 15, 15}, {2, 12, 18}, {11, 5, 25}, {21, 12, 18}}) {
    EXPECT_EQ(s.first[row], first) << "row " << row;
    EXPECT_EQ(s.last[row], last) << "row " << row;
  }
}

TEST(Glyphs, MarkersOfAQuarterRadiusSitOneAndAHalfRadiiAway) {
  // On a random picture every pixel a glyph touches changes; inverting the
  // discs the glyph should hold must restore it.
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
  // The match glyph's main disc takes the match radius, the markers the
  // viewfinder's; at angle 0 they point up and right.
  EXPECT_TRUE(restored([](std::uint8_t* p) { drawMatchGlyph(p, 240, 200, 110, 100, 30.0, 0.0, 40); },
                       {{100, 110, 30}, {40, 110, 10}, {100, 170, 10}}));
}

}  // namespace
}  // namespace orvalis
