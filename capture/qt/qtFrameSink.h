#pragma once

#include <QImage>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "capture/frameSource.h"

namespace orvalis {

// How long the camera adapter waits for frames and how it decides that a
// stream has gone quiet.
struct QtFrameTiming {
  // Right after start the first frame may take a moment.
  std::chrono::milliseconds firstFrameWait{5000};
  // A stream is quiet after this many checks in a row, this far apart, saw
  // no new frame. The checks run from the event loop like the frames, so a
  // long tick that holds up both is not taken for a quiet stream.
  std::chrono::milliseconds quietCheckInterval{1000};
  int quietChecksToFail = 3;
};

// The receiving end of a camera stream: a video sink that keeps the newest
// frame and hands it out as 32-bit top-down rows. Frames may arrive on any
// thread (the media backend chooses); everything else is called on the
// thread that owns the object, which must run a Qt event loop.
class QtFrameSink {
 public:
  explicit QtFrameSink(QtFrameTiming timing = {});
  ~QtFrameSink();
  QtFrameSink(const QtFrameSink&) = delete;
  QtFrameSink& operator=(const QtFrameSink&) = delete;

  // What the capture session draws into; tests push frames into it directly.
  QVideoSink* videoSink() { return &sink_; }

  // Starts the quiet-stream watch. It counts only after the first frame.
  void watch();

  // Processes events until a first frame has arrived, the wait runs out or
  // giveUp() says so. True when a frame is there. User input is held back
  // meanwhile.
  bool waitForFirstFrame(const std::function<bool()>& giveUp);

  // The newest frame, rows top-down, valid until the next call: YUYV, the
  // usual uncompressed webcam format, converted here into 24-bit BGR in a
  // buffer that only grows (no allocation once it has the size); anything
  // else through Qt's own conversion into 32-bit BGRA, which allocates a
  // picture a call. A packed frame too short for its rows is never taken. False when no frame has arrived or
  // the frame can't be converted. Never waits.
  bool latestFrame(RawFrame& frame);

  // True once the watched stream went quiet; stays true.
  bool quiet() const { return quiet_.load(); }

  // Frames received so far.
  std::uint64_t received() const;

  // Stops watching and receiving and lets go of the held frame. Whatever
  // feeds the sink must be detached from it before the sink is destroyed.
  void release();

 private:
  void receive(const QVideoFrame& frame);  // any thread
  void checkQuiet();
  bool convertYuyv(const QVideoFrame& mapped, RawFrame& frame);

  const QtFrameTiming timing_;
  QVideoSink sink_;
  QTimer quietCheck_;
  QMetaObject::Connection receiving_;

  mutable std::mutex mutex_;
  QVideoFrame latest_;          // guarded by mutex_
  std::uint64_t received_ = 0;  // guarded by mutex_
  bool open_ = true;            // guarded by mutex_; false once released

  // Owner thread only.
  std::uint64_t receivedAtLastCheck_ = 0;
  int quietChecks_ = 0;
  std::atomic<bool> quiet_{false};
  QVideoFrame held_;  // mapped while its bytes are handed out
  std::vector<std::uint8_t> rows_;
  QImage picture_;
};

}  // namespace orvalis
