#include "control/searchStart.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "control/archivePictures.h"
#include "control/searchSequence.h"
#include "files/parametersFile.h"

namespace orvalis {

namespace {

SearchStart failed(StartFailure failure, std::string message) {
  SearchStart start;
  start.failure = failure;
  start.message = std::move(message);
  return start;
}

std::string viewfinderText(const SearchState& state) {
  return std::to_string(state.viewfinderX) + "," + std::to_string(state.viewfinderY) + "," +
         std::to_string(state.viewfinderRadius);
}

// A named parameters file must be readable; the default one is used as the
// window uses it, with the defaults when it can't be read.
SearchStart loadParametersOf(SearchState& state, const SearchSetup& setup) {
  const FileStatus parameters =
      loadParameters(state, setup.parametersPath ? setup.parametersPath->c_str() : kParametersPath);
  if (setup.parametersPath && parameters != FileStatus::Ok) {
    return failed(StartFailure::ParametersUnreadable,
                  "parameters file '" + *setup.parametersPath + "' " +
                      (parameters == FileStatus::Missing
                           ? std::string("not found")
                           : std::string("cannot be read: ") + fileStatusText(parameters)));
  }
  if (setup.filterRadius) state.filterRadius = *setup.filterRadius;
  if (setup.colorTolerance) state.colorTolerance = *setup.colorTolerance;
  return {};
}

// The backdrop where needed, then archive picture 0, which gives the size
// the viewfinder is checked against.
SearchStart loadResources(Workspace& workspace, const SearchSetup& setup) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;
  std::string error;
  if (setup.needsBackdrop && !loadPicture(kBackdropPath, "backdrop", images.backgroundImage,
                                          state.backgroundWidth, state.backgroundHeight, error)) {
    return failed(StartFailure::MissingResources, error);
  }
  std::error_code ignored;
  if (!std::filesystem::is_directory(setup.archiveFolder, ignored)) {
    return failed(StartFailure::MissingResources, "archive folder '" + setup.archiveFolder + "' not found");
  }
  if (!loadPicture(archivePicturePath(setup.archiveFolder, 0), "archive picture", images.archiveImage,
                   state.archiveWidth, state.archiveHeight, error)) {
    return failed(StartFailure::MissingResources, error);
  }
  state.landscape = state.archiveWidth >= state.archiveHeight ? 1 : 0;
  return {};
}

SearchStart placeViewfinder(SearchState& state, const SearchSetup& setup) {
  if (!setup.viewfinderRadius) {
    checkViewfinder(state, state.archiveWidth, state.archiveHeight);
    return {};
  }
  state.viewfinderX = *setup.viewfinderX;
  state.viewfinderY = *setup.viewfinderY;
  state.viewfinderRadius = *setup.viewfinderRadius;
  if (viewfinderFits(state.viewfinderX, state.viewfinderY, state.viewfinderRadius, state.archiveWidth,
                     state.archiveHeight)) {
    return {};
  }
  return failed(StartFailure::ViewfinderDoesNotFit,
                "viewfinder " + viewfinderText(state) + " does not fit the " +
                    pictureSizeText(state.archiveWidth, state.archiveHeight) +
                    " pictures (the circle needs a one-pixel margin on every side)");
}

// The query, which must have the archive's size, and the template from it.
SearchStart takeQuery(Workspace& workspace, const SearchSetup& setup) {
  SearchState& state = workspace.state;
  const std::string query = setup.query();
  std::string error;
  if (!loadPicture(query, "query picture", workspace.images.queryImage, state.queryWidth, state.queryHeight,
                   error)) {
    return failed(StartFailure::NoStillQuery, error);
  }
  if (state.queryWidth != state.archiveWidth || state.queryHeight != state.archiveHeight) {
    return failed(StartFailure::QuerySizeMismatch,
                  "query picture '" + query + "' is " + pictureSizeText(state.queryWidth, state.queryHeight) +
                      " but archive picture 0 is " +
                      pictureSizeText(state.archiveWidth, state.archiveHeight));
  }
  if (!buildTemplate(workspace)) {
    return failed(StartFailure::TemplateRefused,
                  "the viewfinder " + viewfinderText(state) + " is too small to search with on the " +
                      pictureSizeText(state.queryWidth, state.queryHeight) + " query picture");
  }
  return {};
}

}  // namespace

std::string SearchSetup::query() const {
  return queryPath.empty() ? archiveFolder + "/Current_Image.jpg" : queryPath;
}

SearchStart prepareSearch(Workspace& workspace, const SearchSetup& setup) {
  workspace.profile = setup.profile;
  SearchStart start = loadParametersOf(workspace.state, setup);
  const SearchParameters parameters = workspace.state;
  if (start.failure == StartFailure::None) start = loadResources(workspace, setup);
  if (start.failure == StartFailure::None) start = placeViewfinder(workspace.state, setup);
  if (start.failure == StartFailure::None) start = takeQuery(workspace, setup);
  start.parameters = parameters;
  return start;
}

}  // namespace orvalis
