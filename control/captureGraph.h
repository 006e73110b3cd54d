#pragma once

#include "capture/frameSource.h"
#include "control/exitPath.h"
#include "state/workspace.h"

namespace orvalis {

// The camera side of the search control. A failure in any of them is fatal:
// the source is released, then res/Device_Lost.sh runs and the process ends
// with exit code 1.

// Opens the device and starts it streaming.
void buildCaptureGraph(FrameSource& source, ExitPath& exitPath);

// The device's current frame into queryImage (storeFrame).
void grabFrame(Workspace& workspace, FrameSource& source, ExitPath& exitPath);

// Called after every camera-mode tick: ends the process when the stream has
// failed, otherwise does nothing. Never waits.
void pollMediaEvents(FrameSource& source, ExitPath& exitPath);

// Stops and releases the device. Safe when nothing was built, and again.
void releaseCaptureGraph(FrameSource& source);

}  // namespace orvalis
