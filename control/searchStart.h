#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "control/viewfinderCheck.h"
#include "files/paths.h"
#include "state/workspace.h"

namespace orvalis {

// Where the search reads its pictures and what overrides the stored
// parameters. Every field left at its default means "as the window would do
// it in still-image mode", but for the backdrop, which only the window shows.
struct SearchSetup {
  std::string archiveFolder = kArchiveFolder;
  std::string queryPath;                      // empty: Current_Image.jpg in archiveFolder
  std::optional<std::string> parametersPath;  // default: res/Combo_Box_Parameters.bin, silently optional

  // An explicit viewfinder must fit archive picture 0; without one the stored
  // viewfinder is checked and, if need be, reset to the picture's centre.
  std::optional<std::uint32_t> viewfinderX, viewfinderY, viewfinderRadius;
  std::optional<std::uint32_t> filterRadius;
  std::optional<std::uint8_t> colorTolerance;

  // Several copies, a score ceiling, a range of turns: the plain search by
  // default.
  SearchProfile profile;

  bool needsBackdrop = false;  // res/Dark_Gray_Square.jpg must load, before anything else

  // The query file actually used.
  std::string query() const;
};

// Why a start-up stopped; each face decides what that means to its user.
enum class StartFailure {
  None,
  ParametersUnreadable,  // a parameters file named in the set-up
  MissingResources,      // the backdrop, the archive folder or its picture 0
  ViewfinderDoesNotFit,  // a viewfinder named in the set-up
  NoStillQuery,          // the query picture can't be loaded (the window turns to the camera)
  QuerySizeMismatch,     // the query's size is not archive picture 0's
  TemplateRefused,       // a viewfinder too small to sample: the last step, everything else is done
};

struct SearchStart {
  StartFailure failure = StartFailure::None;
  std::string message;  // one line naming the file or value and the reason; empty with None
  // The parameters as read, with the set-up's overrides: what the window's
  // controls show, before a viewfinder that does not fit is reset.
  SearchParameters parameters;
};

// Everything before the first archive picture: the parameters file (or the
// defaults) with the set-up's overrides, the backdrop where needed, archive
// picture 0 and the viewfinder (an explicit one must fit, a stored one is
// checked and reset), the query picture, which must have picture 0's size,
// and the template. Stops at the first failure, leaving the workspace as
// that step left it.
[[nodiscard]] SearchStart prepareSearch(Workspace& workspace, const SearchSetup& setup);

}  // namespace orvalis
