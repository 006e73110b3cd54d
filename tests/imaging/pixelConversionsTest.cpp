#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/pixelConversions.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(GrayValue, IsTheTruncatedUnweightedMean) {
  const Bytes blue = {0, 1, 255, 255, 90, 0}, green = {0, 2, 255, 255, 0, 0}, red = {2, 3, 255, 254, 0, 255};
  Bytes gray(6);
  grayPlane(blue.data(), green.data(), red.data(), 6, 1, gray.data());
  // (0,0,2) -> 0; (1,2,3) -> 2; white stays 255; (255,255,254) -> 254; a
  // weighted gray would give 10 for pure blue 90 and 76 for pure red 255.
  EXPECT_EQ(gray, (Bytes{0, 2, 255, 254, 30, 85}));
}

TEST(GrayValue, PictureAndPlaneAgreeAndSplitBack) {
  std::mt19937 rng(129);
  const std::uint32_t w = 7, h = 5;
  Bytes b(w * h), g(w * h), r(w * h);
  for (std::size_t i = 0; i < b.size(); ++i) {
    b[i] = static_cast<std::uint8_t>(rng());
    g[i] = static_cast<std::uint8_t>(rng());
    r[i] = static_cast<std::uint8_t>(rng());
  }
  Bytes picture(w * h * 3), gray(w * h), b2(w * h), g2(w * h), r2(w * h);
  grayToBgr(b.data(), g.data(), r.data(), w, h, picture.data());
  grayPlane(b.data(), g.data(), r.data(), w, h, gray.data());
  splitPlanes(picture.data(), w, h, b2.data(), g2.data(), r2.data());
  EXPECT_EQ(b2, gray);
  EXPECT_EQ(g2, gray);
  EXPECT_EQ(r2, gray);
}

TEST(SplitPlanes, TakesBlueGreenRedInByteOrder) {
  const Bytes picture = {1, 2, 3, 4, 5, 6};
  Bytes b(2), g(2), r(2);
  splitPlanes(picture.data(), 2, 1, b.data(), g.data(), r.data());
  EXPECT_EQ(b, (Bytes{1, 4}));
  EXPECT_EQ(g, (Bytes{2, 5}));
  EXPECT_EQ(r, (Bytes{3, 6}));
}

TEST(ConvertBgraToBgr, DropsTheFourthByteOnly) {
  const Bytes frame = {10, 20, 30, 99, 11, 21, 31, 98};
  Bytes out(6 + 1, 0xEE);
  convertBgraToBgr(frame.data(), 2, 1, out.data());
  EXPECT_EQ(out, (Bytes{10, 20, 30, 11, 21, 31, 0xEE}));
}

TEST(FlipVertical, CopiesHeightOneUnchangedAndSwapsTwoRows) {
  const Bytes one = {1, 2, 3, 4, 5, 6};
  Bytes out(6);
  flipVertical(one.data(), 2, 1, 6, out.data());
  EXPECT_EQ(out, one);

  const Bytes two = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Bytes flipped(12);
  flipVertical(two.data(), 2, 2, 6, flipped.data());
  EXPECT_EQ(flipped, (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
}

TEST(FlipVertical, SkipsRowPaddingForOddWidths) {
  // Five pixels of 24 bits: 15 bytes a row, padded to 16 in the frame.
  EXPECT_EQ(paddedBgrStride(5), 16u);
  EXPECT_EQ(paddedBgrStride(4), 12u);
  const std::uint32_t w = 5, h = 3;
  Bytes frame(16 * h);
  for (std::uint32_t k = 0; k < h; ++k) {
    for (std::uint32_t i = 0; i < 15; ++i) frame[k * 16 + i] = static_cast<std::uint8_t>(k * 20 + i);
    frame[k * 16 + 15] = 0xFF;  // padding
  }
  Bytes picture(15 * h + 1, 0xEE);
  flipVertical(frame.data(), w, h, paddedBgrStride(w), picture.data());
  for (std::uint32_t row = 0; row < h; ++row) {
    const std::uint32_t sourceRow = h - 1 - row;
    for (std::uint32_t i = 0; i < 15; ++i) {
      ASSERT_EQ(picture[row * 15 + i], sourceRow * 20 + i) << "row " << row << " byte " << i;
    }
  }
  EXPECT_EQ(picture[15 * h], 0xEE);  // nothing written past the packed rows
}

TEST(PixelConversions, EmptySizesWriteNothing) {
  Bytes sentinel(8, 0xEE);
  const Bytes input(8, 1);
  convertBgraToBgr(input.data(), 0, 5, sentinel.data());
  flipVertical(input.data(), 2, 0, 6, sentinel.data());
  splitPlanes(input.data(), 0, 3, sentinel.data(), sentinel.data(), sentinel.data());
  grayPlane(input.data(), input.data(), input.data(), 3, 0, sentinel.data());
  grayToBgr(input.data(), input.data(), input.data(), 0, 0, sentinel.data());
  EXPECT_EQ(sentinel, Bytes(8, 0xEE));
}

}  // namespace
}  // namespace orvalis
