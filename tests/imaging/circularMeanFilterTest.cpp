#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/circularMeanFilter.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DiscMask, BoundaryCellsBelongToTheDisc) {
  // A strict < would give 1, 9, 25, 185, 1229.
  const std::pair<std::uint32_t, std::uint32_t> expected[] = {{0, 1},  {1, 5},   {2, 13},
                                                              {3, 29}, {8, 197}, {20, 1257}};
  for (const auto& [radius, count] : expected) {
    Bytes mask((2 * radius + 1) * (2 * radius + 1));
    std::uint32_t got = 0;
    buildDiscMask(radius, mask.data(), got);
    EXPECT_EQ(got, count) << "radius " << radius;
    EXPECT_TRUE(radius != 1 || mask == Bytes({0, 1, 0, 1, 1, 1, 0, 1, 0}));
  }
}

TEST(CircularMeanFilter, CopiesTheBorderBandAndRoundsTheDiscMeanInside) {
  // Each interior byte against a plain disc sum, independent of the mask's
  // layout, rounded half up: (2 sum + count) / (2 count). Pictures narrower or
  // shorter than the disc are copied whole. Blue, green and red differ.
  std::mt19937 rng(129);
  for (const std::uint32_t radius : {1u, 3u, 8u}) {
    for (const auto& [w, h] :
         {std::pair{2 * radius + 1, 2 * radius + 3}, {41u, 2 * radius + 2}, {41u, 2 * radius}}) {
      Bytes mask((2 * radius + 1) * (2 * radius + 1));
      std::uint32_t count = 0;
      buildDiscMask(radius, mask.data(), count);
      Bytes in[3], out[3];
      for (int c = 0; c < 3; ++c) {
        in[c].resize(w * h);
        out[c].resize(w * h);
        for (auto& v : in[c]) v = static_cast<std::uint8_t>(rng());
      }
      circularMeanFilter(in[0].data(), in[1].data(), in[2].data(), out[0].data(), out[1].data(),
                         out[2].data(), w, h, radius, mask.data(), count);
      const int r = static_cast<int>(radius), width = static_cast<int>(w), height = static_cast<int>(h);
      for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x) {
            int expected = in[c][y * w + x];
            if (y >= r && y < height - r && x >= r && x < width - r) {
              int sum = 0;
              for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx)
                  sum += dy * dy + dx * dx <= r * r ? in[c][(y + dy) * w + x + dx] : 0;
              }
              expected = (2 * sum + int(count)) / (2 * int(count));
            }
            ASSERT_EQ(out[c][y * w + x], expected)
                << "radius " << r << ", " << w << " x " << h << " at " << y << ", " << x;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvalis
