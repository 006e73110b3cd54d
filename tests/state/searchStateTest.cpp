#include <gtest/gtest.h>

#include <memory>

#include "state/workspace.h"

namespace orvalis {
namespace {

TEST(SearchState, StartsZeroExceptTheWalkIndexAndConstants) {
  auto ws = std::make_unique<Workspace>();
  const SearchState& s = ws->state;
  EXPECT_EQ(s.archiveIndex, -2);
  EXPECT_EQ(static_cast<const SearchParameters&>(s), SearchParameters{});
  EXPECT_EQ(s.cameraMode + s.adjustMode + s.searchStopped + s.archiveExhausted + s.painted + s.landscape, 0);
  EXPECT_EQ(s.matchFound, 0);
  EXPECT_EQ(s.queryHeight, 0u);
  EXPECT_EQ(s.templateRingProfile[8][4999], 0.0);
  EXPECT_EQ(s.ringSampleCount[8], 0u);
  EXPECT_EQ(ws->images.discMaskCount, 0u);
}

TEST(SearchState, ConstantsKeepTheirExactValues) {
  // The ten-decimal pi is part of the arithmetic that results are reproduced from.
  EXPECT_EQ(kPi, 3.1415926535);
  EXPECT_NE(kPi, 3.14159265358979323846);
  EXPECT_EQ(kFullTurn, 6.283185307);
  EXPECT_EQ(kQuarterTurn, 1.57079632675);
  EXPECT_EQ(kRingsToAgree, 4);
  EXPECT_EQ(kMeanToleranceFactor, 0.1);
  EXPECT_EQ(kMinViewfinderRadius, 40.0);
  EXPECT_EQ(kMaxViewfinderRadius, 250.0);
  EXPECT_EQ(kRingCount, 9);
  EXPECT_EQ(kMaxRingSamples, 5000);
}

TEST(ImageStore, BuffersHaveTheirStatedCapacityAndStartZeroed) {
  EXPECT_EQ(BgrImage::capacity(), 6'912'000u);
  EXPECT_EQ(ColorPlane::capacity(), 2'304'000u);
  EXPECT_EQ(DiscMaskBuffer::capacity(), 2'304'000u);
  auto ws = std::make_unique<Workspace>();
  EXPECT_EQ(ws->images.queryImage[0], 0);
  EXPECT_EQ(ws->images.archiveImage[BgrImage::capacity() - 1], 0);
  EXPECT_EQ(ws->images.rotatedArchiveGray[ColorPlane::capacity() - 1], 0);
}

TEST(ImageStore, BufferAddressesNeverChange) {
  auto ws = std::make_unique<Workspace>();
  const std::uint8_t* before = ws->images.archiveGray.data();
  ws->images.archiveGray[12345] = 7;
  EXPECT_EQ(ws->images.archiveGray.data(), before);
  // Separate stores own separate buffers: tests never share state.
  auto other = std::make_unique<Workspace>();
  EXPECT_NE(other->images.archiveGray.data(), before);
  EXPECT_EQ(other->images.archiveGray[12345], 0);
}

TEST(ImageCapacity, AcceptsByPixelCount) {
  EXPECT_TRUE(fitsImageCapacity(1920, 1200));
  EXPECT_TRUE(fitsImageCapacity(1200, 1920));
  EXPECT_TRUE(fitsImageCapacity(1, 1));
  EXPECT_FALSE(fitsImageCapacity(1921, 1200));
  EXPECT_FALSE(fitsImageCapacity(1920, 1201));
  EXPECT_FALSE(fitsImageCapacity(0, 10));
  EXPECT_FALSE(fitsImageCapacity(65535, 65535));
}

}  // namespace
}  // namespace orvalis
