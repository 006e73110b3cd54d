#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "capture/frameStore.h"
#include "imaging/pixelConversions.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

// The query picture as a camera frame of the given depth, stride and row
// order would carry it, fourth byte (if any) and row padding filled with noise.
Bytes frameFromPicture(const Bytes& picture, std::uint32_t width, std::uint32_t height,
                       std::uint32_t bitCount, std::size_t stride, RowOrder order = RowOrder::BottomUp) {
  Bytes frame = randomBytes(stride * height, 7);
  const std::size_t bytesPerPixel = bitCount / 8;
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* from = picture.data() + 3 * static_cast<std::size_t>(y) * width;
    std::uint8_t* to = frame.data() + (order == RowOrder::BottomUp ? height - 1 - y : y) * stride;
    for (std::uint32_t x = 0; x < width; ++x) std::copy_n(from + 3 * x, 3, to + bytesPerPixel * x);
  }
  return frame;
}

Bytes storedQuery(const Workspace& workspace, std::size_t bytes) {
  const std::uint8_t* query = workspace.images.queryImage.data();
  return Bytes(query, query + bytes);
}

class StoreFrame : public ::testing::Test {
 protected:
  std::unique_ptr<Workspace> workspace = std::make_unique<Workspace>();
};

TEST_F(StoreFrame, ThirtyTwoBitFrameBecomesTopDownWithFourthByteDropped) {
  const std::uint32_t w = 640, h = 480;
  const Bytes picture = randomBytes(3 * w * h, 1);
  const Bytes frame = frameFromPicture(picture, w, h, 32, 4 * w);

  ASSERT_TRUE(storeFrame(RawFrame{w, h, 32, 4 * w, frame.data()}, *workspace));
  EXPECT_EQ(workspace->state.queryWidth, w);
  EXPECT_EQ(workspace->state.queryHeight, h);
  EXPECT_EQ(storedQuery(*workspace, picture.size()), picture);
  // The top row of the query is the last row the frame stored.
  const std::uint8_t* lastStored = frame.data() + (h - 1) * 4 * w;
  const std::uint8_t* top = workspace->images.queryImage.data();
  EXPECT_TRUE(std::equal(top, top + 3, lastStored));
  EXPECT_TRUE(std::equal(top + 3, top + 6, lastStored + 4));
}

TEST_F(StoreFrame, TopDownFramesOfEitherDepthAreStoredAsTheyLie) {
  const std::uint32_t w = 7, h = 5;
  const Bytes picture = randomBytes(3 * w * h, 5);
  for (std::uint32_t bitCount : {24u, 32u}) {
    const std::size_t stride = bitCount / 8 * w + 4;
    const Bytes frame = frameFromPicture(picture, w, h, bitCount, stride, RowOrder::TopDown);
    ASSERT_TRUE(storeFrame(RawFrame{w, h, bitCount, stride, frame.data(), RowOrder::TopDown}, *workspace));
    EXPECT_EQ(storedQuery(*workspace, picture.size()), picture) << bitCount;
  }
}

TEST_F(StoreFrame, TwentyFourBitPaddedRowsAreCopiedWithoutPadding) {
  const std::uint32_t w = 5, h = 3;
  ASSERT_EQ(paddedBgrStride(w), 16u);
  const Bytes picture = randomBytes(3 * w * h, 2);
  const Bytes frame = frameFromPicture(picture, w, h, 24, 16);
  // Marks where the copy must stop: one byte past the picture.
  workspace->images.queryImage[3 * w * h] = 0xA5;

  ASSERT_TRUE(storeFrame(RawFrame{w, h, 24, 16, frame.data()}, *workspace));
  EXPECT_EQ(storedQuery(*workspace, picture.size()), picture);
  EXPECT_EQ(workspace->images.queryImage[3 * w * h], 0xA5);
  EXPECT_EQ(workspace->state.queryWidth, w);
  EXPECT_EQ(workspace->state.queryHeight, h);
}

TEST_F(StoreFrame, PaddedThirtyTwoBitRowsAreReadAtTheirStride) {
  const std::uint32_t w = 3, h = 4;
  const Bytes picture = randomBytes(3 * w * h, 3);
  const Bytes frame = frameFromPicture(picture, w, h, 32, 4 * w + 8);
  ASSERT_TRUE(storeFrame(RawFrame{w, h, 32, 4 * w + 8, frame.data()}, *workspace));
  EXPECT_EQ(storedQuery(*workspace, picture.size()), picture);
}

TEST_F(StoreFrame, HeightOneIsCopiedAndHeightTwoSwapsRows) {
  for (std::uint32_t bitCount : {24u, 32u}) {
    const std::uint32_t w = 4;
    const std::size_t stride = bitCount / 8 * w;
    const Bytes rows = randomBytes(2 * stride, bitCount);
    // Each stored row as packed BGR.
    Bytes first(3 * w), second(3 * w);
    if (bitCount == 32) {
      convertBgraToBgr(rows.data(), w, 1, first.data());
      convertBgraToBgr(rows.data() + stride, w, 1, second.data());
    } else {
      std::copy_n(rows.begin(), 3 * w, first.begin());
      std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(stride), 3 * w, second.begin());
    }

    ASSERT_TRUE(storeFrame(RawFrame{w, 1, bitCount, stride, rows.data()}, *workspace));
    EXPECT_EQ(storedQuery(*workspace, 3 * w), first) << bitCount;

    ASSERT_TRUE(storeFrame(RawFrame{w, 2, bitCount, stride, rows.data()}, *workspace));
    Bytes swapped = second;
    swapped.insert(swapped.end(), first.begin(), first.end());
    EXPECT_EQ(storedQuery(*workspace, 6 * w), swapped) << bitCount;
    EXPECT_EQ(workspace->state.queryHeight, 2u);
  }
}

TEST_F(StoreFrame, RefusedFramesWriteNothing) {
  // Start from a known picture and size; no refused frame may change them.
  const Bytes before = randomBytes(3 * 8 * 8, 4);
  ASSERT_TRUE(storeFrame(RawFrame{8, 8, 24, 24, before.data()}, *workspace));
  const Bytes query = storedQuery(*workspace, 3 * 1921 * 2);

  const Bytes big(4 * 1921 * 1200, 0x11);  // one column past 1920 x 1200
  const Bytes small(4 * 16 * 16, 0x22);
  const RawFrame refused[] = {
      {1921, 1200, 32, 4 * 1921, big.data()},  // more pixels than the store holds
      {1921, 1200, 24, paddedBgrStride(1921), big.data()},
      {0, 16, 32, 0, small.data()},            // no width
      {16, 0, 32, 64, small.data()},           // no height
      {16, 16, 16, 32, small.data()},          // unsupported depth
      {16, 16, 8, 16, small.data()},           //
      {16, 16, 32, 60, small.data()},          // stride shorter than a row
      {16, 16, 24, 47, small.data()},          //
      {16, 16, 32, 64, nullptr},               // no pixels
      {0xFFFFFFFFu, 2, 32, 16, small.data()},  // size product that overflows 32 bits
  };
  for (const RawFrame& frame : refused) {
    EXPECT_FALSE(storeFrame(frame, *workspace))
        << frame.width << "x" << frame.height << " " << frame.bitCount;
  }
  EXPECT_EQ(workspace->state.queryWidth, 8u);
  EXPECT_EQ(workspace->state.queryHeight, 8u);
  EXPECT_EQ(storedQuery(*workspace, query.size()), query);
}

TEST_F(StoreFrame, LargestFramesInEitherOrientationFit) {
  // 1920 x 1200 and its portrait twin fill the store exactly.
  const Bytes frame = randomBytes(4 * 1920 * 1200, 5);
  ASSERT_TRUE(storeFrame(RawFrame{1920, 1200, 32, 4 * 1920, frame.data()}, *workspace));
  ASSERT_TRUE(storeFrame(RawFrame{1200, 1920, 32, 4 * 1200, frame.data()}, *workspace));
  EXPECT_EQ(workspace->state.queryWidth, 1200u);
  EXPECT_EQ(workspace->state.queryHeight, 1920u);
  // Bottom row of the portrait query = first stored frame row, fourth bytes dropped.
  Bytes firstRow(3 * 1200);
  convertBgraToBgr(frame.data(), 1200, 1, firstRow.data());
  const std::uint8_t* bottom = workspace->images.queryImage.data() + 3 * 1200 * 1919;
  EXPECT_TRUE(std::equal(firstRow.begin(), firstRow.end(), bottom));
}

}  // namespace
}  // namespace orvalis
