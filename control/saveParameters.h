#pragma once

#include "capture/frameSource.h"
#include "control/exitPath.h"
#include "state/searchState.h"
#include "files/paths.h"

namespace orvalis {

// Writes the parameters file; when it can't be opened for writing the process
// ends with exit code 1 and no script, after stopping `camera` when given.
void saveParameters(const SearchParameters& parameters, ExitPath& exitPath,
                    const char* path = kParametersPath, FrameSource* camera = nullptr);

}  // namespace orvalis
