#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixelConversions.h"

namespace orvalis {

// In which order a frame's rows lie in memory: the first row stored is the
// picture's top row, or its bottom row (as device-independent bitmaps are).
enum class RowOrder : std::uint8_t { BottomUp, TopDown };

// One camera frame as its source holds it, rows in the stated order:
// - 32 bits a pixel: blue, green, red and a fourth byte that is ignored;
// - 24 bits: blue, green, red, rows usually padded to a multiple of four bytes;
// - 16 bits: packed 4:2:2 YCbCr (Y0 Cb Y1 Cr for two pixels, so the width is
//   even), decoded as `yuv` says; the usual uncompressed webcam format.
// Taken as it is, so that storing it is one pass over the frame.
struct RawFrame {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitCount = 0;          // 16, 24 or 32; anything else is refused
  std::size_t stride = 0;              // bytes from one stored row to the next
  const std::uint8_t* rows = nullptr;  // height rows of `stride` bytes
  RowOrder rowOrder = RowOrder::BottomUp;
  YuvCoding yuv = YuvCoding::Bt601Video;  // 16-bit frames only
};

// What the search control needs of a camera. One implementation drives a real
// device (QtCameraSource); tests serve generated frames. Every call comes from
// the window's thread.
class FrameSource {
 public:
  virtual ~FrameSource() = default;

  // Opens the first video-capture device and starts it streaming. False when
  // there is no device or it can't be started.
  virtual bool start() = 0;

  // The device's latest frame. The rows stay valid until the next call to
  // currentFrame or stop. False when no frame can be had, including none
  // arriving within a bounded wait right after start.
  virtual bool currentFrame(RawFrame& frame) = 0;

  // Makes the bounded wait in currentFrame give up at once, the one running
  // now (it may be called from events processed inside that wait) or the
  // next; currentFrame then returns false. Cleared by start and stop. Sources
  // that never wait need nothing here.
  virtual void interruptWait() {}

  // Non-blocking: true once the stream has failed for good (a device error,
  // the device gone, or the stream gone quiet). Stays true until stop.
  virtual bool streamFailed() = 0;

  // Stops the stream and releases the device. Safe when nothing was started
  // and when called again.
  virtual void stop() = 0;
};

}  // namespace orvalis
