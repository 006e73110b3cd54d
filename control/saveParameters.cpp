#include "control/saveParameters.h"

#include "files/parametersFile.h"

namespace orvalis {

void saveParameters(const SearchParameters& parameters, ExitPath& exitPath, const char* path,
                    FrameSource* camera) {
  if (writeParametersFile(parameters, path) != 0) return;
  // As on every fatal exit: the media framework's threads must not run into
  // the process's teardown.
  if (camera != nullptr) camera->stop();
  exitPath.exitProcess(1);
}

}  // namespace orvalis
