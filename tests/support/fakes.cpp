#include "tests/support/fakes.h"

namespace orvalis::testing {

FakeCamera::FakeCamera(std::vector<BgrPicture> pictures) : pictures_(std::move(pictures)) {
  for (const BgrPicture& picture : pictures_) {
    // Bottom-up rows of four bytes a pixel; the fourth byte is noise that
    // must never reach the query picture.
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(picture.width) * picture.height * 4);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
      const std::uint32_t stored = picture.height - 1 - y;
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        const std::uint8_t* p = picture.pixels.data() + 3 * (static_cast<std::size_t>(y) * picture.width + x);
        std::uint8_t* q = frame.data() + 4 * (static_cast<std::size_t>(stored) * picture.width + x);
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
        q[3] = static_cast<std::uint8_t>(x * 7 + y);
      }
    }
    frames_.push_back(std::move(frame));
  }
}

bool FakeCamera::start() {
  ++starts;
  return !failStart;
}

bool FakeCamera::currentFrame(RawFrame& frame) {
  if (failGrab || frames_.empty()) return false;
  const std::size_t index = std::min<std::size_t>(static_cast<std::size_t>(grabs), frames_.size() - 1);
  ++grabs;
  const BgrPicture& picture = pictures_[index];
  frame.width = picture.width;
  frame.height = picture.height;
  frame.bitCount = 32;
  frame.stride = static_cast<std::size_t>(picture.width) * 4;
  frame.rows = frames_[index].data();
  return true;
}

}  // namespace orvalis::testing
