#include "control/saveParameters.h"

#include <cstring>
#include <string>

#include "files/parametersFile.h"

namespace orvalis {

void saveParameters(const SearchParameters& parameters, ExitPath& exitPath, const char* path,
                    FrameSource* camera, const char* confinedTo) {
  int error = 0;
  if (writeParametersFile(parameters, path, &error, confinedTo) != 0) return;
  // As on every fatal exit: the media framework's threads must not run into
  // the process's teardown.
  if (camera != nullptr) camera->stop();
  const std::string why = error == kOutsideConfinedFolder
                              ? std::string("it leads outside the working folder ") + confinedTo +
                                    ", and a folder that is not trusted is written only inside"
                              : std::strerror(error);
  exitPath.report(std::string("the parameters can't be saved to ") + path + ": " + why +
                  "; the program ends, the old file left as it was");
  exitPath.exitProcess(1);
}

}  // namespace orvalis
