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

}  // namespace
}  // namespace orvalis
