#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "imaging/glyphs.h"
#include "imaging/invertDisc.h"
#include "state/constants.h"

namespace orvalis {
namespace {

// A random picture, so that any pixel a glyph touches changes; inverting the
// discs the glyph should hold must restore it.
struct Picture {
  Picture() : bytes(3 * 240 * 200) {
    std::mt19937 rng(129);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    original = bytes;
  }
  bool restoredBy(std::initializer_list<std::array<double, 3>> discs) {
    for (const auto& [row, column, radius] : discs) invertDisc(bytes.data(), 240, 200, row, column, radius);
    return bytes == original;
  }
  std::vector<std::uint8_t> bytes, original;
};

TEST(Glyphs, MarkersOfAQuarterRadiusSitOneAndAHalfRadiiAway) {
  // Radius 43: markers of radius 43 / 4 = 10 (not 10.75) at 64.5 (not 64).
  Picture viewfinder;
  drawViewfinderGlyph(viewfinder.bytes.data(), 240, 200, 100, 120, 43);
  EXPECT_TRUE(viewfinder.restoredBy({{120, 100, 43}, {120 - 64.5, 100, 10}, {120, 100 + 64.5, 10}}));
  // The match glyph's main disc takes the match radius, the markers the
  // viewfinder's; at angle 0 they point up and right.
  Picture match;
  drawMatchGlyph(match.bytes.data(), 240, 200, 110, 100, 30.0, 0.0, 40);
  EXPECT_TRUE(match.restoredBy({{100, 110, 30}, {40, 110, 10}, {100, 170, 10}}));
}

TEST(Glyphs, MatchMarkersTurnAgainstTheMatchAngle) {
  // A quarter turn: first marker right of the centre, second below; the
  // other way round, left and above.
  Picture quarter, back;
  drawMatchGlyph(quarter.bytes.data(), 240, 200, 110, 100, 40.0, kQuarterTurn, 40);
  drawMatchGlyph(back.bytes.data(), 240, 200, 110, 100, 40.0, -kQuarterTurn, 40);
  EXPECT_TRUE(quarter.restoredBy({{100, 110, 40}, {100, 170, 10}, {160, 110, 10}}));
  EXPECT_TRUE(back.restoredBy({{100, 110, 40}, {100, 50, 10}, {40, 110, 10}}));
}

TEST(Glyphs, OnlyTheMarkerThatLeavesThePictureIsSkipped) {
  // Radius 40, markers of 10 at 60 above: at row 69 the upper marker's top is
  // row -1, at row 70 it is row 0.
  Picture skipped, drawn, turned;
  drawViewfinderGlyph(skipped.bytes.data(), 240, 200, 100, 69, 40);
  EXPECT_TRUE(skipped.restoredBy({{69, 100, 40}, {69, 160, 10}}));
  drawViewfinderGlyph(drawn.bytes.data(), 240, 200, 100, 70, 40);
  EXPECT_TRUE(drawn.restoredBy({{70, 100, 40}, {10, 100, 10}, {70, 160, 10}}));
  // Turned a quarter at column 180, the first marker would reach column 250.
  drawMatchGlyph(turned.bytes.data(), 240, 200, 180, 100, 40.0, kQuarterTurn, 40);
  EXPECT_TRUE(turned.restoredBy({{100, 180, 40}, {160, 180, 10}}));
}

}  // namespace
}  // namespace orvalis
