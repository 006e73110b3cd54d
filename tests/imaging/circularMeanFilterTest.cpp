#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
using testing::BgrPicture;

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
    Bytes blue(c.in.size()), green(c.in.size(), 7), red(c.in.size());
    const Bytes zero(c.in.size(), 0);
    circularMeanFilter(c.in.data(), zero.data(), c.in.data(), blue.data(), green.data(), red.data(), c.width,
                       3, 1, mask.data(), count);
    EXPECT_EQ(blue, c.expected);
    EXPECT_EQ(green, zero);
    EXPECT_EQ(red, c.expected);
  }
}

// Busy content: a smooth texture with noise on top, so that neighbouring disc
// sums differ and every rounding case turns up.
BgrPicture busy(std::uint32_t width, std::uint32_t height, std::uint32_t radius) {
  BgrPicture picture = testing::texturedPicture(width, height, radius * 31 + width, 3.0);
  std::mt19937 rng(width * height);
  for (auto& byte : picture.pixels) byte = std::uint8_t(std::clamp(int(byte) + int(rng() % 81) - 40, 0, 255));
  return picture;
}

// Empty when the two filters agree on every byte, else the first that differs.
std::string firstMismatch(const BgrPicture& picture, std::uint32_t radius) {
  const std::size_t n = std::size_t{picture.width} * picture.height;
  Bytes in[3], plain[3], fast[3];
  for (int c = 0; c < 3; ++c) {
    in[c].resize(n);
    for (std::size_t i = 0; i < n; ++i) in[c][i] = picture.pixels[3 * i + c];
    plain[c].assign(n, 1);
    fast[c].assign(n, 2);
  }
  Bytes mask((2 * radius + 1) * (2 * radius + 1));
  std::uint32_t count = 0;
  buildDiscMask(radius, mask.data(), count);
  circularMeanFilter(in[0].data(), in[1].data(), in[2].data(), plain[0].data(), plain[1].data(),
                     plain[2].data(), picture.width, picture.height, radius, mask.data(), count);
  static WorkerPool pool(3);
  static FilterMemory memory(pool.lanes());
  circularMeanFilterFast(pool, memory, in[0].data(), in[1].data(), in[2].data(), fast[0].data(),
                         fast[1].data(), fast[2].data(), picture.width, picture.height, radius, mask.data(),
                         count);
  for (int c = 0; c < 3; ++c) {
    const std::size_t at =
        std::mismatch(plain[c].begin(), plain[c].end(), fast[c].begin()).first - plain[c].begin();
    if (at < n)
      return "channel " + std::to_string(c) + " row " + std::to_string(at / picture.width) + " column " +
             std::to_string(at % picture.width);
  }
  return {};
}

TEST(CircularMeanFilterFast, SameBytesAsThePlainFilter) {
  // Every radius on awkward sizes (around the disc and the vector widths);
  // pictures cut into several tiles of columns, and into several pieces of
  // rows as well; and extreme planes: all 255 for the largest sums, a
  // checkerboard whose every disc sum is a multiple of 255.
  for (std::uint32_t radius = 1; radius <= kMaxFilterRadius; ++radius) {
    const std::uint32_t side = 2 * radius + 1;
    const std::uint32_t sizes[][2] = {{1, 1},       {5, 3},         {37, 29},      {131, 83},
                                      {side, side}, {side - 1, 50}, {50, side - 1}};
    for (const auto& [w, h] : sizes) {
      EXPECT_EQ(firstMismatch(busy(w, h, radius), radius), "")
          << "radius " << radius << ", " << w << " x " << h;
    }
  }
  for (const auto& [w, h, radius] : {std::tuple{2150u, 43u, 20u}, {700u, 150u, 12u}}) {
    EXPECT_EQ(firstMismatch(busy(w, h, radius), radius), "") << w << " x " << h << ", radius " << radius;
  }
  BgrPicture extreme = testing::solidPicture(90, 70, 255, 0, 0);
  for (std::size_t i = 0; i < 90 * 70; ++i) {
    extreme.pixels[3 * i + 1] = ((i / 90 + i % 90) % 2) ? 255 : 0;
    extreme.pixels[3 * i + 2] = static_cast<std::uint8_t>(i * 7919);
  }
  for (const std::uint32_t radius : {1u, 7u, 20u}) {
    EXPECT_EQ(firstMismatch(extreme, radius), "") << "extreme, radius " << radius;
  }
}

}  // namespace
}  // namespace orvalis
