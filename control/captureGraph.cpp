#include "control/captureGraph.h"

#include "capture/frameStore.h"
#include "platform/stoppableThread.h"

namespace orvalis {

namespace {

// Releasing the device before the exit keeps the media framework's streaming
// threads from running into the process's own teardown.
[[noreturn]] void deviceLost(FrameSource& source, ExitPath& exitPath) {
  source.stop();
  exitPath.fail(ExitScript::DeviceLost);
}

// Ends the process from its own thread unless disarmed within the limit.
// Only what is safe beside a thread stuck anywhere runs there: the script is
// started with posix_spawn and the process ends with _Exit.
class StartWatchdog {
 public:
  StartWatchdog(ExitPath& exitPath, std::chrono::milliseconds limit) {
    // Disarming is the thread's stop.
    thread_.start([this, &exitPath, limit] {
      std::unique_lock lock(thread_.mutex());
      if (thread_.stopWithin(lock, limit)) return;
      exitPath.runScript(ExitScript::DeviceLost);
      exitPath.exitNow(1);
    });
  }

 private:
  StoppableThread thread_;
};

}  // namespace

void buildCaptureGraph(FrameSource& source, ExitPath& exitPath, std::chrono::milliseconds startLimit) {
  bool started = false;
  {
    StartWatchdog watchdog(exitPath, startLimit);
    started = source.start();
  }
  if (!started) deviceLost(source, exitPath);
}

bool grabFirstFrame(Workspace& workspace, FrameSource& source, ExitPath& exitPath,
                    const bool& closeRequested) {
  RawFrame frame;
  if (source.currentFrame(frame) && storeFrame(frame, workspace)) return true;
  if (closeRequested) return false;
  deviceLost(source, exitPath);
}

void grabFrame(Workspace& workspace, FrameSource& source, ExitPath& exitPath) {
  RawFrame frame;
  if (!source.currentFrame(frame) || !storeFrame(frame, workspace)) deviceLost(source, exitPath);
}

void pollMediaEvents(FrameSource& source, ExitPath& exitPath) {
  if (source.streamFailed()) deviceLost(source, exitPath);
}

void releaseCaptureGraph(FrameSource& source) {
  source.stop();
}

}  // namespace orvalis
