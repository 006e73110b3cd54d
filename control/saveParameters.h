#pragma once

#include "capture/frameSource.h"
#include "control/exitPath.h"
#include "files/paths.h"
#include "state/searchState.h"

namespace orvalis {

// Writes the parameters file, all or nothing; when it can't be written in
// full (no permission, a full disk, a folder or a device in its place) the
// process ends with exit code 1 and no script, the old file left intact,
// after stopping `camera` when given.
void saveParameters(const SearchParameters& parameters, ExitPath& exitPath,
                    const char* path = kParametersPath, FrameSource* camera = nullptr);

}  // namespace orvalis
