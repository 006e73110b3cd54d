#include "capture/frameStore.h"

#include "imaging/pixelConversions.h"
#include "state/constants.h"

namespace orvalis {

namespace {

bool frameFits(const RawFrame& frame) {
  if (frame.rows == nullptr || !fitsImageCapacity(frame.width, frame.height)) return false;
  if (frame.bitCount != 24 && frame.bitCount != 32) return false;
  return frame.stride >= static_cast<std::size_t>(frame.bitCount / 8) * frame.width;
}

}  // namespace

bool storeFrame(const RawFrame& frame, Workspace& workspace) {
  // Checks first: nothing below may write past queryImage or
  // frameConvertBuffer, and a refused frame leaves both untouched.
  if (!frameFits(frame)) return false;
  static_assert(3 * kMaxImagePixels <= kFrameConvertCapacity);

  ImageStore& images = workspace.images;
  const std::uint8_t* source = frame.rows;
  std::size_t sourceStride = frame.stride;
  if (frame.bitCount == 32) {
    // Row by row, so that a padded 32-bit row is read at its own stride; the
    // result is packed, still bottom-up.
    const std::size_t packedRow = 3 * static_cast<std::size_t>(frame.width);
    for (std::uint32_t k = 0; k < frame.height; ++k) {
      convertBgraToBgr(frame.rows + k * frame.stride, frame.width, 1,
                       images.frameConvertBuffer.data() + k * packedRow);
    }
    source = images.frameConvertBuffer.data();
    sourceStride = packedRow;
  }
  flipVertical(source, frame.width, frame.height, sourceStride, images.queryImage.data());

  workspace.state.queryWidth = frame.width;
  workspace.state.queryHeight = frame.height;
  return true;
}

}  // namespace orvalis
