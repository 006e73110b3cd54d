#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/circularMeanFilter.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Mask {
  Bytes cells;
  std::uint32_t count = 0;
  explicit Mask(std::uint32_t radius) : cells((2 * radius + 1) * (2 * radius + 1), 7) {
    buildDiscMask(radius, cells.data(), count);
  }
};

// Filters one plane (the same plane as all three channels) and returns it.
Bytes filterPlane(const Bytes& plane, std::uint32_t width, std::uint32_t height, std::uint32_t radius) {
  const Mask mask(radius);
  Bytes b(plane.size()), g(plane.size()), r(plane.size());
  circularMeanFilter(plane.data(), plane.data(), plane.data(), b.data(), g.data(), r.data(), width, height,
                     radius, mask.cells.data(), mask.count);
  EXPECT_EQ(b, g);
  EXPECT_EQ(b, r);
  return b;
}

TEST(DiscMask, BoundaryCellsBelongToTheDisc) {
  // A strict < would give 1, 9, 25, 185, 1229.
  const std::pair<std::uint32_t, std::uint32_t> expected[] = {{0, 1},  {1, 5},   {2, 13},
                                                              {3, 29}, {8, 197}, {20, 1257}};
  for (const auto& [radius, count] : expected) {
    EXPECT_EQ(Mask(radius).count, count) << "radius " << radius;
  }
  const Mask one(1);
  EXPECT_EQ(one.cells, (Bytes{0, 1, 0, 1, 1, 1, 0, 1, 0}));
}

TEST(CircularMeanFilter, ConstantPlaneStaysConstant) {
  const std::uint32_t w = 37, h = 23;
  for (const std::uint8_t v : {0, 1, 128, 255}) {
    const Bytes plane(w * h, v);
    EXPECT_EQ(filterPlane(plane, w, h, 5), plane);
  }
}

TEST(CircularMeanFilter, SinglePeakSpreadsOverTheFiveCellDisc) {
  const std::uint32_t w = 9, h = 9;
  Bytes plane(w * h, 0);
  plane[4 * w + 4] = 255;
  const Bytes out = filterPlane(plane, w, h, 1);
  // floor(255 / 5 + 0.5) = 51 at the peak and its four edge neighbours.
  for (const auto& [y, x] : {std::pair{4, 4}, {3, 4}, {5, 4}, {4, 3}, {4, 5}}) EXPECT_EQ(out[y * w + x], 51);
  for (const auto& [y, x] : {std::pair{3, 3}, {3, 5}, {5, 3}, {5, 5}, {2, 4}}) EXPECT_EQ(out[y * w + x], 0);
}

TEST(CircularMeanFilter, RoundsTheMeanToTheNearest) {
  // R = 1 windows whose five cells sum to 7 (1.4 -> 1) and 8 (1.6 -> 2, where
  // a truncating division would give 1).
  const std::uint32_t w = 3, h = 3;
  EXPECT_EQ(filterPlane({0, 1, 0, 1, 3, 1, 0, 1, 0}, w, h, 1)[4], 1);
  EXPECT_EQ(filterPlane({0, 1, 0, 1, 4, 1, 0, 1, 0}, w, h, 1)[4], 2);
  // The corners are outside the disc and don't count.
  EXPECT_EQ(filterPlane({250, 1, 250, 1, 4, 1, 250, 1, 250}, w, h, 1)[4], 2);
}

TEST(CircularMeanFilter, BorderBandIsCopiedAndInteriorSumsExactlyTheMask) {
  std::mt19937 rng(129);
  for (const std::uint32_t radius : {1u, 3u, 8u}) {
    for (std::uint32_t w : {2 * radius + 1, 2 * radius + 2, 41u}) {
      const std::uint32_t h = 2 * radius + 3;
      Bytes plane(w * h);
      for (auto& v : plane) v = static_cast<std::uint8_t>(rng());
      const Bytes out = filterPlane(plane, w, h, radius);
      const Mask mask(radius);
      const int r = static_cast<int>(radius);
      for (int y = 0; y < static_cast<int>(h); ++y) {
        for (int x = 0; x < static_cast<int>(w); ++x) {
          const bool border =
              y < r || y > static_cast<int>(h) - 1 - r || x < r || x > static_cast<int>(w) - 1 - r;
          if (border) {
            ASSERT_EQ(out[y * w + x], plane[y * w + x]) << "border at " << y << "," << x;
            continue;
          }
          // A plain disc test, independent of the mask's layout.
          int sum = 0;
          for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
              if (dy * dy + dx * dx <= r * r) sum += plane[(y + dy) * w + (x + dx)];
            }
          }
          const int expected = (2 * sum + static_cast<int>(mask.count)) / (2 * static_cast<int>(mask.count));
          ASSERT_EQ(out[y * w + x], expected) << "radius " << radius << " at " << y << "," << x;
        }
      }
    }
  }
}

TEST(CircularMeanFilter, PictureSmallerThanTheMaskIsCopiedWhole) {
  std::mt19937 rng(7);
  for (const auto& [w, h] : {std::pair{16u, 16u}, {16u, 40u}, {40u, 16u}, {1u, 1u}}) {
    Bytes plane(w * h);
    for (auto& v : plane) v = static_cast<std::uint8_t>(rng());
    EXPECT_EQ(filterPlane(plane, w, h, 8), plane) << w << "x" << h;
  }
}

TEST(CircularMeanFilter, ChannelsAreFilteredApart) {
  const std::uint32_t w = 5, h = 5;
  const Bytes blue(w * h, 10), green(w * h, 200);
  Bytes red(w * h, 0);
  red[12] = 255;
  const Mask mask(1);
  Bytes b(w * h), g(w * h), r(w * h);
  circularMeanFilter(blue.data(), green.data(), red.data(), b.data(), g.data(), r.data(), w, h, 1,
                     mask.cells.data(), mask.count);
  EXPECT_EQ(b, blue);
  EXPECT_EQ(g, green);
  EXPECT_EQ(r[12], 51);
  EXPECT_EQ(r[6], 0);
}

}  // namespace
}  // namespace orvalis
