#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/glyphs.h"
#include "imaging/invertDisc.h"
#include "state/constants.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A random picture, so that any pixel a glyph touches changes.
struct Picture {
  Picture(std::uint32_t w, std::uint32_t h) : width(w), height(h), bytes(3 * std::size_t{w} * h) {
    std::mt19937 rng(129);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    original = bytes;
  }
  // Inverting the discs a glyph is expected to hold must restore the picture.
  void undo(double row, double column, double radius) {
    invertDisc(bytes.data(), width, height, row, column, radius);
  }
  bool changed(std::uint32_t row, std::uint32_t column) const {
    const std::size_t i = 3 * (std::size_t{row} * width + column);
    return bytes[i] != original[i];
  }
  bool restored() const { return bytes == original; }
  std::uint32_t width, height;
  Bytes bytes, original;
};

TEST(ViewfinderGlyph, MarkersHaveQuarterRadiusAndSitAtOneAndAHalfRadii) {
  // Radius 43: markers of radius 43 / 4 = 10 (not 10.75) at 64.5 (not 64).
  Picture p(300, 300);
  drawViewfinderGlyph(p.bytes.data(), p.width, p.height, 120, 150, 43);
  EXPECT_FALSE(p.restored());
  p.undo(150, 120, 43);
  p.undo(150 - 64.5, 120, 10);
  p.undo(150, 120 + 64.5, 10);
  EXPECT_TRUE(p.restored());
}

TEST(ViewfinderGlyph, SkipsOnlyTheMarkerThatLeavesThePicture) {
  // Radius 40: markers of radius 10 at 60 above. At row 69 the upper
  // marker's top is row -1, at row 70 it is row 0.
  Picture skipped(200, 200);
  drawViewfinderGlyph(skipped.bytes.data(), 200, 200, 100, 69, 40);
  EXPECT_FALSE(skipped.changed(9, 100));  // upper marker centre
  EXPECT_TRUE(skipped.changed(69, 160));  // right marker centre
  skipped.undo(69, 100, 40);
  skipped.undo(69, 160, 10);
  EXPECT_TRUE(skipped.restored());

  Picture drawn(200, 200);
  drawViewfinderGlyph(drawn.bytes.data(), 200, 200, 100, 70, 40);
  EXPECT_TRUE(drawn.changed(0, 100));  // the marker's top row
  drawn.undo(70, 100, 40);
  drawn.undo(10, 100, 10);
  drawn.undo(70, 160, 10);
  EXPECT_TRUE(drawn.restored());
}

TEST(MatchGlyph, AtAngleZeroIsTheViewfinderGlyphAtTheMatch) {
  Picture match(240, 200), viewfinder(240, 200);
  drawMatchGlyph(match.bytes.data(), 240, 200, 110, 100, 40.0, 0.0, 40);
  drawViewfinderGlyph(viewfinder.bytes.data(), 240, 200, 110, 100, 40);
  EXPECT_EQ(match.bytes, viewfinder.bytes);
}

TEST(MatchGlyph, MainDiscTakesTheMatchRadiusAndMarkersTheViewfinders) {
  Picture p(240, 200);
  drawMatchGlyph(p.bytes.data(), 240, 200, 110, 100, 30.0, 0.0, 40);
  p.undo(100, 110, 30);
  p.undo(40, 110, 10);
  p.undo(100, 170, 10);
  EXPECT_TRUE(p.restored());
}

TEST(MatchGlyph, MarkersTurnAgainstTheMatchAngle) {
  const std::uint32_t x = 110, y = 100;
  // A quarter turn: first marker right of the centre, second below.
  Picture quarter(240, 200);
  drawMatchGlyph(quarter.bytes.data(), 240, 200, x, y, 40.0, kQuarterTurn, 40);
  EXPECT_TRUE(quarter.changed(y, x + 60));
  EXPECT_TRUE(quarter.changed(y + 60, x));
  EXPECT_FALSE(quarter.changed(y - 60, x));
  EXPECT_FALSE(quarter.changed(y, x - 60));

  // The other way round: first marker left, second above.
  Picture back(240, 200);
  drawMatchGlyph(back.bytes.data(), 240, 200, x, y, 40.0, -kQuarterTurn, 40);
  EXPECT_TRUE(back.changed(y, x - 60));
  EXPECT_TRUE(back.changed(y - 60, x));
  EXPECT_FALSE(back.changed(y + 60, x));
  EXPECT_FALSE(back.changed(y, x + 60));
}

TEST(MatchGlyph, SkipsAMarkerThatLeavesThePictureAlone) {
  // A quarter turn puts the first marker 60 right of column 180: its right
  // edge at 250 is past column 239, the rest fits.
  Picture p(240, 200);
  drawMatchGlyph(p.bytes.data(), 240, 200, 180, 100, 40.0, kQuarterTurn, 40);
  EXPECT_TRUE(p.changed(100, 180));
  EXPECT_TRUE(p.changed(160, 180));
  EXPECT_FALSE(p.changed(100, 235));
}

}  // namespace
}  // namespace orvalis
