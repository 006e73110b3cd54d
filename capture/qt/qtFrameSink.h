#pragma once

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
  // A stream's first frames are often no picture yet: dark while the
  // camera's exposure settles, or, through PipeWire, empty buffers from
  // before the stream renegotiates. These are dropped unseen.
  int framesToDrop = 4;
};

// The receiving end of a camera stream: a video sink that copies each frame
// out of the backend's memory as it arrives (YUYV and 32-bit BGR as they
// are, anything else through Qt's conversion) and hands out the newest. Frames may arrive on any
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

  // The newest frame, valid until the next call. Never waits, never
  // allocates: each frame was already copied out of the backend's memory as
  // it arrived (see receive), so this only swaps buffers, and the store's one
  // pass reads the copy. False when no frame has arrived.
  bool latestFrame(RawFrame& frame);

  // True once the watched stream went quiet; stays true.
  bool quiet() const { return quiet_.load(); }

  // Frames received so far.
  std::uint64_t received() const;

  // Stops watching and receiving and lets go of the held frame. Whatever
  // feeds the sink must be detached from it before the sink is destroyed.
  void release();

 private:
  // A frame copied out of the backend: its bytes and how to read them.
  struct Staged {
    std::vector<std::uint8_t> bytes;  // grows, never shrinks
    RawFrame layout;                  // rows point into bytes once handed out
  };

  void receive(const QVideoFrame& frame);  // any thread
  bool stage(const QVideoFrame& frame);    // into filling_, under fillingMutex_
  void checkQuiet();

  const QtFrameTiming timing_;
  QVideoSink sink_;
  QTimer quietCheck_;
  QMetaObject::Connection receiving_;

  // Three buffers take turns: one being filled by whichever thread delivers
  // a frame, the newest complete one, and the one handed out, so that a copy
  // never happens under the lock the owner takes and a handed-out frame
  // stays whole until the next call.
  std::mutex fillingMutex_;
  Staged filling_;             // guarded by fillingMutex_
  std::uint64_t offered_ = 0;  // frames the backend delivered; guarded by fillingMutex_

  mutable std::mutex mutex_;
  Staged ready_;                // guarded by mutex_
  bool readyIsNew_ = false;     // guarded by mutex_
  std::uint64_t received_ = 0;  // guarded by mutex_
  bool open_ = true;            // guarded by mutex_; false once released

  // Owner thread only.
  std::uint64_t receivedAtLastCheck_ = 0;
  int quietChecks_ = 0;
  std::atomic<bool> quiet_{false};
  Staged handed_;
};

}  // namespace orvalis
