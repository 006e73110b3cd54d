#pragma once

#include "capture/frameSource.h"
#include "core/exitPath.h"
#include "core/workspace.h"

namespace orvalis {

// The camera side of the search control. A failure in any of them is fatal:
// the source is released, then res/Device_Lost.sh runs and the process ends
// with exit code 1.

// Puts a frame into queryImage, top-down with stride 3 x width, and sets
// queryWidth and queryHeight. A 32-bit frame is first reduced to packed
// 24 bits in frameConvertBuffer. Returns 0 and writes nothing when the frame
// can't be taken: no rows, a size outside the store (fitsImageCapacity), a
// bit count other than 24 or 32, or a stride shorter than a row.
int storeFrame(const RawFrame& frame, Workspace& workspace);

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
