#include "control/saveParameters.h"

#include "files/parametersFile.h"

namespace orvalis {

void saveParameters(const SearchParameters& parameters, ExitPath& exitPath, const char* path) {
  if (writeParametersFile(parameters, path) == 0) exitPath.exitProcess(1);
}

}  // namespace orvalis
