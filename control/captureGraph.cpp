#include "control/captureGraph.h"

#include "capture/frameStore.h"

namespace orvalis {

namespace {

// Releasing the device before the exit keeps the media framework's streaming
// threads from running into the process's own teardown.
[[noreturn]] void deviceLost(FrameSource& source, ExitPath& exitPath) {
  source.stop();
  exitPath.fail(ExitScript::DeviceLost);
}

}  // namespace

void buildCaptureGraph(FrameSource& source, ExitPath& exitPath) {
  if (!source.start()) deviceLost(source, exitPath);
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
