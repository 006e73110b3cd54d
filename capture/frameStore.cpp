#include "capture/frameStore.h"

#include <cstring>

#include "imaging/pixelConversions.h"
#include "state/constants.h"

namespace orvalis {

namespace {

bool frameFits(const RawFrame& frame) {
  if (frame.rows == nullptr || !fitsImageCapacity(frame.width, frame.height)) return false;
  if (frame.bitCount == 16 && frame.width % 2 != 0) return false;
  if (frame.bitCount != 16 && frame.bitCount != 24 && frame.bitCount != 32) return false;
  return frame.stride >= static_cast<std::size_t>(frame.bitCount / 8) * frame.width;
}

}  // namespace

bool storeFrame(const RawFrame& frame, Workspace& workspace) {
  // Checks first: nothing below may write past queryImage, and a refused
  // frame leaves it untouched.
  if (!frameFits(frame)) return false;

  // Row by row, so that a padded row is read at its own stride.
  const std::size_t packedRow = 3 * static_cast<std::size_t>(frame.width);
  const bool bottomUp = frame.rowOrder == RowOrder::BottomUp;
  for (std::uint32_t k = 0; k < frame.height; ++k) {
    const std::uint8_t* from = frame.rows + k * frame.stride;
    std::uint8_t* to = workspace.images.queryImage.data() + (bottomUp ? frame.height - 1 - k : k) * packedRow;
    if (frame.bitCount == 32) {
      convertBgraToBgr(from, frame.width, 1, to);
    } else if (frame.bitCount == 16) {
      convertYuyvRowToBgr(from, frame.width, frame.yuv, to);
    } else {
      std::memcpy(to, from, packedRow);
    }
  }

  workspace.state.queryWidth = frame.width;
  workspace.state.queryHeight = frame.height;
  return true;
}

}  // namespace orvalis
