#include "capture/captureGraph.h"

#include "core/constants.h"
#include "imaging/pixelConversions.h"

namespace orvalis {

namespace {

// Releasing the device before the exit keeps the media framework's streaming
// threads from running into the process's own teardown.
[[noreturn]] void deviceLost(FrameSource& source, ExitPath& exitPath) {
  source.stop();
  exitPath.fail(ExitScript::DeviceLost);
}

bool frameFits(const RawFrame& frame) {
  if (frame.rows == nullptr || !fitsImageCapacity(frame.width, frame.height)) return false;
  if (frame.bitCount != 24 && frame.bitCount != 32) return false;
  return frame.stride >= static_cast<std::size_t>(frame.bitCount / 8) * frame.width;
}

}  // namespace

int storeFrame(const RawFrame& frame, Workspace& workspace) {
  // Checks first: nothing below may write past queryImage or
  // frameConvertBuffer, and a refused frame leaves both untouched.
  if (!frameFits(frame)) return 0;
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
  return 1;
}

void buildCaptureGraph(FrameSource& source, ExitPath& exitPath) {
  if (!source.start()) deviceLost(source, exitPath);
}

void grabFrame(Workspace& workspace, FrameSource& source, ExitPath& exitPath) {
  RawFrame frame;
  if (!source.currentFrame(frame) || storeFrame(frame, workspace) == 0) deviceLost(source, exitPath);
}

void pollMediaEvents(FrameSource& source, ExitPath& exitPath) {
  if (source.streamFailed()) deviceLost(source, exitPath);
}

void releaseCaptureGraph(FrameSource& source) {
  source.stop();
}

}  // namespace orvalis
