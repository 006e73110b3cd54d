#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

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

TEST(PixelConversions, CameraFramesLoseTheFourthByte) {
  const Bytes frame = {10, 20, 30, 99, 11, 21, 31, 98};
  Bytes out(6 + 1, 0xEE);
  convertBgraToBgr(frame.data(), 2, 1, out.data());
  EXPECT_EQ(out, (Bytes{10, 20, 30, 11, 21, 31, 0xEE}));
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
    Bytes b1(n), g1(n), r1(n), b2(n, 9), g2(n, 9), r2(n, 9);
    splitPlanes(picture.data(), width, height, b1.data(), g1.data(), r1.data());
    splitPlanesFast(pool, picture.data(), width, height, b2.data(), g2.data(), r2.data());
    EXPECT_EQ(b1, b2);
    EXPECT_EQ(g1, g2);
    EXPECT_EQ(r1, r2);

    Bytes gray1(n), gray2(n, 9);
    grayPlane(b1.data(), g1.data(), r1.data(), width, height, gray1.data());
    grayPlaneFast(pool, b1.data(), g1.data(), r1.data(), width, height, gray2.data());
    EXPECT_EQ(gray1, gray2);

    Bytes bgr1(3 * n), bgr2(3 * n, 9);
    grayToBgr(b1.data(), g1.data(), r1.data(), width, height, bgr1.data());
    grayToBgrFast(pool, b1.data(), g1.data(), r1.data(), width, height, bgr2.data());
    EXPECT_EQ(bgr1, bgr2) << width << " x " << height;
  }
}

}  // namespace
}  // namespace orvalis
