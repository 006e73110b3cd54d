#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "imaging/invertDisc.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A BGR picture of zeros, so that inverted pixels read 255.
struct Picture {
  Picture(std::uint32_t w, std::uint32_t h) : width(w), height(h), bytes(3 * std::size_t{w} * h, 0) {}
  bool inverted(std::uint32_t row, std::uint32_t column) const {
    const std::size_t i = 3 * (std::size_t{row} * width + column);
    return bytes[i] == 255 && bytes[i + 1] == 255 && bytes[i + 2] == 255;
  }
  void draw(double row, double column, double radius) {
    invertDisc(bytes.data(), width, height, row, column, radius);
  }
  std::uint32_t width, height;
  Bytes bytes;
};

// The inverted pixels of one row: first and last column and how many.
struct RowSpan {
  int first = -1, last = -1, count = 0;
};
RowSpan spanOf(const Picture& p, std::uint32_t row) {
  RowSpan s;
  for (std::uint32_t x = 0; x < p.width; ++x) {
    if (!p.inverted(row, x)) continue;
    if (s.count == 0) s.first = static_cast<int>(x);
    s.last = static_cast<int>(x);
    ++s.count;
  }
  return s;
}

int invertedCount(const Picture& p) {
  int n = 0;
  for (std::uint32_t y = 0; y < p.height; ++y) n += spanOf(p, y).count;
  return n;
}

TEST(InvertDisc, RadiusTenHasTheExpectedRowsAndSpans) {
  Picture p(200, 200);
  p.draw(50, 50, 10);
  // Every byte is either untouched or inverted: no partial pixel, no row
  // inverted twice (which would cancel).
  for (std::uint8_t b : p.bytes) ASSERT_TRUE(b == 0 || b == 255);
  EXPECT_EQ(invertedCount(p), 337);
  EXPECT_EQ(spanOf(p, 39).count, 0);
  EXPECT_EQ(spanOf(p, 61).count, 0);

  struct Expected {
    std::uint32_t row;
    int first, last;
  };
  for (const Expected& e :
       {Expected{40, 50, 50}, Expected{41, 47, 53}, Expected{50, 40, 60}, Expected{60, 47, 53}}) {
    const RowSpan s = spanOf(p, e.row);
    EXPECT_EQ(s.first, e.first) << "row " << e.row;
    EXPECT_EQ(s.last, e.last) << "row " << e.row;
    EXPECT_EQ(s.count, e.last - e.first + 1) << "row " << e.row;
  }
  // Each row between is a single unbroken span.
  for (std::uint32_t row = 40; row <= 60; ++row) {
    const RowSpan s = spanOf(p, row);
    EXPECT_EQ(s.count, s.last - s.first + 1) << "row " << row;
  }
}

TEST(InvertDisc, DrawnTwiceRestoresThePicture) {
  std::mt19937 rng(129);
  Picture p(61, 47);
  for (auto& b : p.bytes) b = static_cast<std::uint8_t>(rng());
  const Bytes original = p.bytes;
  p.draw(23.4, 30.7, 17.3);
  EXPECT_NE(p.bytes, original);
  p.draw(23.4, 30.7, 17.3);
  EXPECT_EQ(p.bytes, original);
}

TEST(InvertDisc, DrawsOnlyDiscsThatFitIncludingThoseTouchingAnEdge) {
  const std::uint32_t w = 31, h = 21;
  // Touching the top and bottom rows (0 and h - 1) and the left and right
  // columns exactly: drawn.
  for (double column : {10.0, 20.0}) {
    Picture p(w, h);
    p.draw(10, column, 10);
    EXPECT_TRUE(p.inverted(0, static_cast<std::uint32_t>(column)));
    EXPECT_TRUE(p.inverted(h - 1, static_cast<std::uint32_t>(column)));
    EXPECT_GT(spanOf(p, 10).count, 0);
  }
  // Leaving the picture by half a pixel or by a hair on any side: nothing.
  for (double hair : {0.5, 1e-9}) {
    for (const auto& centre : {std::pair{10.0 - hair, 15.0}, std::pair{10.0 + hair, 15.0},
                               std::pair{10.0, 10.0 - hair}, std::pair{10.0, 20.0 + hair}}) {
      Picture p(w, h);
      p.draw(centre.first, centre.second, 10);
      EXPECT_EQ(invertedCount(p), 0) << centre.first << ", " << centre.second;
    }
  }
}

TEST(InvertDisc, DiscsWithoutAStepDrawNothing) {
  // trunc(36 x r) = 0 below r = 1/36; negative and NaN radii never fit.
  for (double radius : {0.0, 0.02, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    Picture p(9, 9);
    p.draw(4, 4, radius);
    EXPECT_EQ(invertedCount(p), 0) << radius;
  }
  // One step: the single top point, which is the centre pixel.
  Picture p(9, 9);
  p.draw(4, 4, 0.03);
  EXPECT_EQ(invertedCount(p), 1);
  EXPECT_TRUE(p.inverted(4, 4));
}

TEST(InvertDisc, RandomDiscsAreUnbrokenRowSpansAndStayInTheirPicture) {
  std::mt19937 rng(129);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 300; ++trial) {
    const std::uint32_t w = 1 + rng() % 63, h = 1 + rng() % 63;
    const double maxRadius = (std::min(w, h) - 1) / 2.0;
    const double r = maxRadius * unit(rng);
    // Half the discs touch a border exactly.
    const double y = trial % 2 ? r : r + (h - 1 - 2 * r) * unit(rng);
    const double x = trial % 4 < 2 ? w - 1 - r : r + (w - 1 - 2 * r) * unit(rng);

    Picture p(w, h);
    p.bytes.resize(p.bytes.size() + 3, 0x5A);  // guard past the picture
    p.draw(y, x, r);
    ASSERT_EQ(p.bytes[3 * w * h], 0x5A);
    p.bytes.resize(3 * w * h);
    if (std::trunc(36 * r) < 1) {
      EXPECT_EQ(invertedCount(p), 0);
      continue;
    }
    // Rows from the rounded top down, each one unbroken span; the top row
    // is the single pixel at the rounded centre column.
    const std::uint32_t top = static_cast<std::uint32_t>(std::floor(y - r + 0.5));
    const RowSpan first = spanOf(p, top);
    ASSERT_EQ(first.count, 1) << "trial " << trial;
    EXPECT_EQ(first.first, static_cast<int>(std::floor(x + 0.5)));
    bool ended = false;
    for (std::uint32_t row = 0; row < h; ++row) {
      const RowSpan s = spanOf(p, row);
      if (row < top) {
        EXPECT_EQ(s.count, 0);
      } else if (s.count == 0) {
        ended = true;
      } else {
        EXPECT_FALSE(ended) << "trial " << trial << ": gap above row " << row;
        EXPECT_EQ(s.count, s.last - s.first + 1) << "trial " << trial << " row " << row;
      }
    }
    const Bytes drawn = p.bytes;
    p.draw(y, x, r);
    EXPECT_EQ(p.bytes, Bytes(drawn.size(), 0)) << "trial " << trial;
  }
}

}  // namespace
}  // namespace orvalis
