// The frame path: every frame layout a camera sends becomes the packed,
// top-down picture, and the camera format chosen for it.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "capture/cameraFormatChoice.h"
#include "capture/frameStore.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

Bytes storedQuery(const Workspace& workspace, std::size_t bytes) {
  const std::uint8_t* query = workspace.images.queryImage.data();
  return Bytes(query, query + bytes);
}

TEST(StoreFrame, EveryLayoutBecomesThePackedTopDownPictureAndARefusedFrameWritesNothing) {
  const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::size_t, RowOrder> cases[] = {
      // width, height, bits a pixel, bytes past each row, row order
      {640, 480, 32, 0, RowOrder::BottomUp},   {3, 4, 32, 8, RowOrder::BottomUp},
      {5, 3, 24, 1, RowOrder::BottomUp},       {7, 5, 24, 4, RowOrder::TopDown},
      {7, 5, 32, 4, RowOrder::TopDown},        {4, 1, 24, 0, RowOrder::BottomUp},
      {4, 2, 32, 0, RowOrder::BottomUp},       {1920, 1200, 32, 0, RowOrder::BottomUp},
      {1200, 1920, 24, 0, RowOrder::BottomUp},
  };
  auto workspace = std::make_unique<Workspace>();
  for (const auto& [width, height, bitCount, padding, order] : cases) {
    SCOPED_TRACE(::testing::Message() << width << "x" << height << " of " << bitCount << " bits");
    // The picture as the camera carries it: fourth bytes and row padding noise.
    const Bytes picture = randomBytes(3 * std::size_t{width} * height, width);
    const std::size_t stride = bitCount / 8 * std::size_t{width} + padding;
    Bytes frame = randomBytes(stride * height, 7);
    for (std::uint32_t y = 0; y < height; ++y) {
      const std::size_t row = order == RowOrder::BottomUp ? height - 1 - y : y;
      for (std::uint32_t x = 0; x < width; ++x)
        std::copy_n(&picture[3 * (std::size_t{y} * width + x)], 3, &frame[row * stride + bitCount / 8 * x]);
    }
    const bool room = picture.size() < kImageCapacity;
    if (room) workspace->images.queryImage[picture.size()] = 0xA5;  // where the copy must stop
    ASSERT_TRUE(storeFrame(RawFrame{width, height, bitCount, stride, frame.data(), order}, *workspace));
    EXPECT_EQ(std::make_pair(workspace->state.queryWidth, workspace->state.queryHeight),
              std::make_pair(width, height));
    EXPECT_TRUE(storedQuery(*workspace, picture.size()) == picture);
    EXPECT_TRUE(!room || workspace->images.queryImage[picture.size()] == 0xA5) << "written past the picture";
  }
  const Bytes query = storedQuery(*workspace, kImageCapacity);
  const Bytes big(4 * 1921 * 1200, 0x11), small(4 * 16 * 16, 0x22);
  const RawFrame refused[] = {
      {1921, 1200, 32, 4 * 1921, big.data()},  // more pixels than the store holds
      {0, 16, 32, 0, small.data()},            // no width
      {16, 0, 32, 64, small.data()},           // no height
      {15, 16, 16, 32, small.data()},          // 4:2:2 needs an even width
      {16, 16, 8, 16, small.data()},           // unsupported depth
      {16, 16, 32, 60, small.data()},          // stride shorter than a row
      {16, 16, 24, 47, small.data()},          //
      {16, 16, 32, 64, nullptr},               // no pixels
      {0xFFFFFFFFu, 2, 32, 16, small.data()},  // size product that overflows 32 bits
  };
  for (const RawFrame& frame : refused)
    EXPECT_FALSE(storeFrame(frame, *workspace))
        << frame.width << "x" << frame.height << " " << frame.bitCount;
  EXPECT_EQ(std::make_pair(workspace->state.queryWidth, workspace->state.queryHeight),
            std::make_pair(1200u, 1920u));
  EXPECT_TRUE(storedQuery(*workspace, kImageCapacity) == query) << "a refused frame wrote into the store";
}

// Black and white at the ends of video range, grays that only the right range
// gives, and primaries as a camera codes them.
TEST(StoreFrame, YuvFramesAreDecodedByTheirOwnMatrixAndRange) {
  struct Case {
    YuvCoding coding;
    std::uint8_t y, u, v;
    std::uint8_t blue, green, red;
  };
  const Case cases[] = {
      {YuvCoding::Bt601Video, 16, 128, 128, 0, 0, 0},
      {YuvCoding::Bt601Video, 235, 128, 128, 255, 255, 255},
      {YuvCoding::Bt601Full, 200, 128, 128, 200, 200, 200},
      {YuvCoding::Bt601Full, 255, 128, 128, 255, 255, 255},
      {YuvCoding::Bt709Video, 16, 128, 128, 0, 0, 0},
      {YuvCoding::Bt709Full, 60, 128, 128, 60, 60, 60},
      {YuvCoding::Bt601Video, 81, 90, 240, 0, 0, 255},
      {YuvCoding::Bt601Video, 41, 240, 110, 255, 0, 0},
      {YuvCoding::Bt709Video, 63, 102, 240, 0, 0, 255},
      {YuvCoding::Bt709Video, 173, 42, 26, 0, 255, 0},
      {YuvCoding::Bt601Full, 76, 85, 255, 0, 0, 254},
      {YuvCoding::Bt709Full, 182, 30, 12, 0, 255, 0},
  };
  auto workspace = std::make_unique<Workspace>();
  for (const Case& c : cases) {
    // Two rows of one pixel pair each, the second row padded.
    const Bytes frame = {c.y, c.u, c.y, c.v, 0xEE, 0xEE, c.y, c.u, c.y, c.v, 0xEE, 0xEE};
    ASSERT_TRUE(storeFrame(RawFrame{2, 2, 16, 6, frame.data(), RowOrder::TopDown, c.coding}, *workspace));
    for (int i = 0; i < 12; ++i) {
      EXPECT_NEAR(workspace->images.queryImage[i],
                  i % 3 == 0   ? c.blue
                  : i % 3 == 1 ? c.green
                               : c.red,
                  2)
          << "Y " << int{c.y} << ", byte " << i;
    }
  }
}

TEST(CameraFormatChoice, PreferredSizeThenLargestFittingThenUncompressedThenFasterThenFirst) {
  const std::vector<CameraFormatOffer> sizes = {
      {640, 480, 30, false}, {3840, 2160, 30, false}, {1920, 1200, 5, false}, {1280, 720, 60, false}};
  const std::vector<CameraFormatOffer> ties = {
      {640, 480, 30, true}, {640, 480, 15, false}, {640, 480, 30, false}, {640, 480, 30, false}};
  const std::vector<CameraFormatOffer> tooBig = {
      {3840, 2160, 30, false}, {0, 0, 30, false}, {1921, 1200, 30, false}};
  struct Case {
    const char* what;
    std::vector<CameraFormatOffer> offers;
    std::uint32_t preferredWidth, preferredHeight;
    int chosen;  // -1: the device's default
  };
  const Case cases[] = {
      {"the preferred size over larger ones", sizes, 1280, 720, 3},
      {"no preference: the largest fitting", sizes, 0, 0, 2},
      {"a preference not offered: the largest fitting", sizes, 800, 600, 2},
      {"a preference beyond the store is never asked for", sizes, 3840, 2160, 2},
      {"equal sizes: uncompressed, then faster, then first", ties, 640, 480, 2},
      {"nothing fits", tooBig, 0, 0, -1},
      {"nothing offered", {}, 640, 480, -1},
      {"the portrait twin of the largest fits", {{1200, 1920, 30, false}}, 0, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chooseCameraFormat(c.offers, c.preferredWidth, c.preferredHeight), c.chosen) << c.what;
}

}  // namespace
}  // namespace orvalis
