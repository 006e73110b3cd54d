#pragma once

#include "capture/frameSource.h"
#include "state/workspace.h"

namespace orvalis {

// Puts a frame into queryImage, top-down with stride 3 x width, and sets
// queryWidth and queryHeight: one pass, each row converted or copied
// straight to its place. Returns false and writes nothing when the
// frame can't be taken: no rows, a size outside the store (fitsImageCapacity),
// a bit count other than 16, 24 or 32, an odd width at 16 bits, or a
// stride shorter than a row.
[[nodiscard]] bool storeFrame(const RawFrame& frame, Workspace& workspace);

}  // namespace orvalis
