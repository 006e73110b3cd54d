// The shared-out pixel conversions against the plain ones.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

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
