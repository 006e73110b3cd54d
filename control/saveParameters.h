#pragma once

#include "capture/frameSource.h"
#include "control/exitPath.h"
#include "files/paths.h"
#include "state/searchState.h"

namespace orvalis {

// Writes the parameters file, all or nothing; when it can't be written in
// full (no permission, a full disk, a folder or a device in its place, or,
// with confinedTo, a real target outside that folder) the old file is left
// intact, the failure is reported through the exit path (the path and the
// reason), and the process ends with exit code 1 and no script, after
// stopping `camera` when given.
void saveParameters(const SearchParameters& parameters, ExitPath& exitPath,
                    const char* path = kParametersPath, FrameSource* camera = nullptr,
                    const char* confinedTo = nullptr);

}  // namespace orvalis
