#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/circularMeanFilter.h"
#include "imaging/circularMeanFilterFast.h"
#include "state/constants.h"
#include "tests/support/testSupport.h"

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

TEST(CircularMeanFilter, CopiesTheBorderAndRoundsTheDiscMeanToTheNearest) {
  // R = 1 on 3 x 3 and 4 x 3: the five cells of the centre sum to 7 (1.4 -> 1)
  // or 8 (1.6 -> 2, where a truncating division gives 1); the corners don't
  // count; the border is copied.
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
    Bytes out[3] = {Bytes(c.in.size()), Bytes(c.in.size()), Bytes(c.in.size())};
    const Bytes zero(c.in.size(), 0);
    circularMeanFilter(c.in.data(), zero.data(), c.in.data(), out[0].data(), out[1].data(), out[2].data(),
                       c.width, 3, 1, mask.data(), count);
    EXPECT_EQ(out[0], c.expected);
    EXPECT_EQ(out[1], zero);
    EXPECT_EQ(out[2], c.expected);
  }
}

// Empty when the two filters agree, else the first differing byte. Busy
// content by default: a smooth texture with noise on top, so that
// neighbouring disc sums differ and every rounding case turns up.
std::string firstMismatch(std::uint32_t width, std::uint32_t height, std::uint32_t radius, int maskChange = 0,
                          int countChange = 0, const Bytes* fixed = nullptr) {
  const testing::BgrPicture picture = testing::texturedPicture(width, height, radius * 31 + width, 3.0);
  std::mt19937 rng(width * height);
  std::uniform_int_distribution<int> noise(-40, 40);
  const std::size_t n = std::size_t{width} * height;
  Bytes in[3], plain[3], fast[3];
  for (int c = 0; c < 3; ++c) {
    in[c].resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      in[c][i] = fixed
                     ? fixed[c][i]
                     : static_cast<std::uint8_t>(std::clamp(picture.pixels[3 * i + c] + noise(rng), 0, 255));
    }
    plain[c].assign(n, 1);
    fast[c].assign(n, 2);
  }
  Bytes mask((2 * radius + 1) * (2 * radius + 1));
  std::uint32_t count = 0;
  buildDiscMask(radius, mask.data(), count);
  if (maskChange) mask[radius * (2 * radius + 1) + radius] = 0;  // a hole: rows not single runs
  count += countChange;
  circularMeanFilter(in[0].data(), in[1].data(), in[2].data(), plain[0].data(), plain[1].data(),
                     plain[2].data(), width, height, radius, mask.data(), count);
  static WorkerPool pool(3);
  static FilterMemory memory(pool.lanes());
  circularMeanFilterFast(pool, memory, in[0].data(), in[1].data(), in[2].data(), fast[0].data(),
                         fast[1].data(), fast[2].data(), width, height, radius, mask.data(), count);
  for (int c = 0; c < 3; ++c) {
    for (std::size_t i = 0; i < n; ++i) {
      if (plain[c][i] == fast[c][i]) continue;
      char text[160];
      std::snprintf(text, sizeof text, "channel %d row %zu column %zu: plain %d fast %d", c, i / width,
                    i % width, plain[c][i], fast[c][i]);
      return text;
    }
  }
  return {};
}

TEST(CircularMeanFilterFast, SameBytesAsThePlainFilter) {
  // Every radius on awkward sizes (around the disc and the vector widths),
  // pictures of several tiles, masks the fast filter
  // hands on as they are, and extreme planes: all 255 for the largest sums, a
  // checkerboard whose every disc sum is a multiple of 255.
  for (std::uint32_t radius = 1; radius <= kMaxFilterRadius; ++radius) {
    const std::uint32_t side = 2 * radius + 1;
    for (const auto& [w, h] : {std::pair{1u, 1u},
                               {5u, 3u},
                               {37u, 29u},
                               {131u, 83u},
                               {side, side},
                               {side - 1, 50u},
                               {50u, side - 1}}) {
      EXPECT_EQ(firstMismatch(w, h, radius), "") << "radius " << radius << ", " << w << " x " << h;
    }
  }
  // Pictures cut into several tiles of columns, and into several pieces of
  // rows as well.
  for (const auto& [w, h, radius] : {std::tuple{2150u, 43u, 20u}, {700u, 150u, 12u}}) {
    EXPECT_EQ(firstMismatch(w, h, radius), "") << w << " x " << h << ", radius " << radius;
  }
  EXPECT_EQ(firstMismatch(40, 30, 3, 1, -1), "") << "a hole in the mask";
  EXPECT_EQ(firstMismatch(40, 30, 3, 0, 2), "") << "a count that is not the mask's";
  Bytes extreme[3] = {Bytes(90 * 70, 255), Bytes(90 * 70), Bytes(90 * 70)};
  for (std::size_t i = 0; i < extreme[1].size(); ++i) {
    extreme[1][i] = ((i / 90 + i % 90) % 2) ? 255 : 0;
    extreme[2][i] = static_cast<std::uint8_t>(i * 7919);
  }
  for (const std::uint32_t radius : {1u, 7u, 20u}) {
    EXPECT_EQ(firstMismatch(90, 70, radius, 0, 0, extreme), "") << "extreme, radius " << radius;
  }
}

TEST(CircularMeanFilterFast, RoundingMatchesTheDivisionForEverySumOfEveryDisc) {
  for (std::uint32_t radius = 1; radius <= kMaxFilterRadius; ++radius) {
    Bytes mask((2 * radius + 1) * (2 * radius + 1));
    std::uint32_t count = 0;
    buildDiscMask(radius, mask.data(), count);
    std::vector<std::uint32_t> sums(255 * count + 1);
    for (std::uint32_t sum = 0; sum < sums.size(); ++sum) sums[sum] = sum;
    Bytes got(sums.size());
    discMeanBytes(sums.data(), static_cast<int>(sums.size()), 1.0f / static_cast<float>(count), got.data());
    for (std::uint32_t sum = 0; sum < sums.size(); ++sum) {
      const auto expected = static_cast<std::uint8_t>(std::floor(sum / static_cast<double>(count) + 0.5));
      ASSERT_EQ(got[sum], expected) << "radius " << radius << " sum " << sum;
    }
  }
}

}  // namespace
}  // namespace orvalis
