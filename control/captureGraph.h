#pragma once

#include <chrono>

#include "capture/frameSource.h"
#include "control/exitPath.h"
#include "state/workspace.h"

namespace orvalis {

// The camera side of the search control. A failure in any of them is fatal:
// the source is released, then res/Device_Lost.sh runs and the process ends
// with exit code 1.

// Opens the device and starts it streaming. Some media stacks block in the
// start for good (a camera service that never answers): when the start has
// not returned within startLimit, a watchdog thread runs res/Device_Lost.sh
// and ends the process with exit code 1 at once, without releasing the
// source, which the stuck thread is still inside.
inline constexpr std::chrono::milliseconds kCameraStartLimit{5000};
void buildCaptureGraph(FrameSource& source, ExitPath& exitPath,
                       std::chrono::milliseconds startLimit = kCameraStartLimit);

// The device's current frame into queryImage (storeFrame).
void grabFrame(Workspace& workspace, FrameSource& source, ExitPath& exitPath);

// The first frame after the start, as grabFrame, except that a wait
// interrupted because closeRequested was set is no lost device: false then,
// and the caller closes.
[[nodiscard]] bool grabFirstFrame(Workspace& workspace, FrameSource& source, ExitPath& exitPath,
                                  const bool& closeRequested);

// Called after every camera-mode tick: ends the process when the stream has
// failed, otherwise does nothing. Never waits.
void pollMediaEvents(FrameSource& source, ExitPath& exitPath);

// Stops and releases the device. Safe when nothing was built, and again.
void releaseCaptureGraph(FrameSource& source);

}  // namespace orvalis
