#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "imaging/circularMeanFilter.h"
#include "imaging/circularMeanFilterFast.h"
#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"
#include "state/constants.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::BgrPicture;

TEST(PixelConversions, GrayIsTheTruncatedUnweightedMeanInBlueGreenRedOrder) {
  // (0,0,2) -> 0; (1,2,3) -> 2; white stays 255; (255,255,254) -> 254; a
  // weighted gray would give 10 for pure blue 90 and 76 for pure red 255.
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

TEST(PixelConversionsFast, SameBytesAsThePlainConversions) {
  // Below and above the size from which the work is shared out, with pixel
  // counts that split unevenly between lanes.
  std::mt19937 rng(129);
  WorkerPool pool(3);
  for (const auto& [width, height] : {std::pair{1u, 1u}, {7u, 3u}, {301u, 219u}, {641u, 479u}}) {
    const std::size_t n = static_cast<std::size_t>(width) * height;
    Bytes picture(3 * n);
    for (std::uint8_t& byte : picture) byte = static_cast<std::uint8_t>(rng());
    Bytes plain[5] = {Bytes(n), Bytes(n), Bytes(n), Bytes(n), Bytes(3 * n)}, fast[5];
    for (int k = 0; k < 5; ++k) fast[k].assign(plain[k].size(), 9);
    splitPlanes(picture.data(), width, height, plain[0].data(), plain[1].data(), plain[2].data());
    splitPlanesFast(pool, picture.data(), width, height, fast[0].data(), fast[1].data(), fast[2].data());
    grayPlane(plain[0].data(), plain[1].data(), plain[2].data(), width, height, plain[3].data());
    grayPlaneFast(pool, plain[0].data(), plain[1].data(), plain[2].data(), width, height, fast[3].data());
    grayToBgr(plain[0].data(), plain[1].data(), plain[2].data(), width, height, plain[4].data());
    grayToBgrFast(pool, plain[0].data(), plain[1].data(), plain[2].data(), width, height, fast[4].data());
    for (int k = 0; k < 5; ++k) EXPECT_EQ(plain[k], fast[k]) << width << " x " << height << ", plane " << k;
  }
}

TEST(DiscMask, BoundaryCellsBelongToTheDisc) {
  // A strict < would give 1, 9, 25, 185, 1229.
  const std::pair<std::uint32_t, std::uint32_t> expected[] = {{0, 1},  {1, 5},   {2, 13},
                                                              {3, 29}, {8, 197}, {20, 1257}};
  for (const auto& [radius, count] : expected) {
    Bytes mask((2 * radius + 1) * (2 * radius + 1));
    std::uint32_t got = 0;
    buildDiscMask(radius, mask.data(), got);
    EXPECT_EQ(got, count) << "radius " << radius;
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

void expectSameFilter(const BgrPicture& picture, std::uint32_t radius) {
  const std::size_t n = std::size_t{picture.width} * picture.height;
  Bytes in[3], plain[3], fast[3];
  for (int c = 0; c < 3; ++c) {
    for (std::size_t i = 0; i < n; ++i) in[c].push_back(picture.pixels[3 * i + c]);
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
  for (int c = 0; c < 3; ++c)
    EXPECT_TRUE(plain[c] == fast[c]) << "channel " << c << ", " << picture.width << " x " << picture.height
                                     << ", radius " << radius;
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
    for (const auto& [w, h] : sizes) expectSameFilter(busy(w, h, radius), radius);
  }
  expectSameFilter(busy(2150, 43, 20), 20);
  expectSameFilter(busy(700, 150, 12), 12);
  BgrPicture extreme = testing::solidPicture(90, 70, 255, 0, 0);
  for (std::size_t i = 0; i < 90 * 70; ++i) {
    extreme.pixels[3 * i + 1] = ((i / 90 + i % 90) % 2) ? 255 : 0;
    extreme.pixels[3 * i + 2] = static_cast<std::uint8_t>(i * 7919);
  }
  for (const std::uint32_t radius : {1u, 7u, 20u}) expectSameFilter(extreme, radius);
}

}  // namespace
}  // namespace orvalis
