#include "control/archiveWalk.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "control/viewfinderCheck.h"
#include "files/archiveNaming.h"
#include "files/loadJpeg.h"
#include "files/matchViewFiles.h"
#include "files/parametersFile.h"
#include "imaging/glyphs.h"
#include "matching/matchViews.h"
#include "matching/searchSteps.h"

namespace orvalis {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string sizeText(std::uint32_t width, std::uint32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// Loads a picture and words the failure with its real cause. A missing file
// is told apart in missing, since only a missing archive number ends a walk
// quietly.
bool loadPicture(const std::string& path, const char* role, BgrImage& destination, std::uint32_t& height,
                std::uint32_t& width, std::uint32_t& byteCount, std::string& error, bool* missing = nullptr) {
  JpegLoadFailure failure;
  if (loadJpeg(path.c_str(), destination, height, width, byteCount, &failure)) return true;
  if (missing != nullptr) *missing = failure.refusal == JpegRefusal::Missing;
  switch (failure.refusal) {
    case JpegRefusal::Missing: error = std::string(role) + " '" + path + "' not found"; break;
    case JpegRefusal::PermissionDenied:
    case JpegRefusal::NotRegularFile:
    case JpegRefusal::FileTooLarge:
    case JpegRefusal::Empty:
    case JpegRefusal::ReadError:
      error = std::string("cannot read ") + role + " '" + path + "': " + describeJpegFailure(failure);
      break;
    default:
      error = std::string("cannot decode ") + role + " '" + path + "': " + describeJpegFailure(failure);
  }
  return false;
}

}  // namespace

std::string archivePicturePath(const std::string& folder, std::uint32_t index) {
  // The name proper follows "Image_Archive/" in the program's own name.
  const ArchiveFileName name = archiveFileName(static_cast<std::int32_t>(index));
  return folder + "/" + (name.c_str() + sizeof(kArchiveFolder));
}

std::string SearchSetup::query() const {
  return queryPath.empty() ? archiveFolder + "/Current_Image.jpg" : queryPath;
}

bool prepareSearch(Workspace& workspace, const SearchSetup& options, std::string& error) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;

  // Parameters: a named file must be readable; the default one is used as
  // the window uses it, with the defaults when it can't be read.
  const FileStatus parameters =
      loadParameters(state, options.parametersPath ? options.parametersPath->c_str() : kParametersPath);
  if (options.parametersPath && parameters != FileStatus::Ok) {
    error =
        "parameters file '" + *options.parametersPath + "' " +
        (parameters == FileStatus::Missing ? std::string("not found")
                                           : std::string("cannot be read: ") + fileStatusText(parameters));
    return false;
  }
  if (options.filterRadius) state.filterRadius = *options.filterRadius;
  if (options.colorTolerance) state.colorTolerance = *options.colorTolerance;

  // Archive picture 0 gives the size the viewfinder is checked against.
  std::error_code ignored;
  if (!std::filesystem::is_directory(options.archiveFolder, ignored)) {
    error = "archive folder '" + options.archiveFolder + "' not found";
    return false;
  }
  const std::string firstPicture = archivePicturePath(options.archiveFolder, 0);
  if (!loadPicture(firstPicture, "archive picture", images.archiveImage, state.archiveHeight,
                   state.archiveWidth, state.archiveByteCount, error)) {
    return false;
  }
  state.landscape = state.archiveWidth >= state.archiveHeight ? 1 : 0;

  if (options.viewfinderRadius) {
    state.viewfinderX = *options.viewfinderX;
    state.viewfinderY = *options.viewfinderY;
    state.viewfinderRadius = *options.viewfinderRadius;
    if (!viewfinderFits(state.viewfinderX, state.viewfinderY, state.viewfinderRadius, state.archiveWidth,
                        state.archiveHeight)) {
      error = "viewfinder " + std::to_string(state.viewfinderX) + "," + std::to_string(state.viewfinderY) +
              "," + std::to_string(state.viewfinderRadius) + " does not fit the " +
              sizeText(state.archiveWidth, state.archiveHeight) +
              " pictures (the circle needs a one-pixel margin on every side)";
      return false;
    }
  } else {
    checkViewfinder(state, state.archiveWidth, state.archiveHeight);
  }

  // The query, which must have the archive's size.
  const std::string query = options.query();
  if (!loadPicture(query, "query picture", images.queryImage, state.queryHeight, state.queryWidth,
                   state.queryByteCount, error)) {
    return false;
  }
  if (state.queryWidth != state.archiveWidth || state.queryHeight != state.archiveHeight) {
    error = "query picture '" + query + "' is " + sizeText(state.queryWidth, state.queryHeight) +
            " but archive picture 0 is " + sizeText(state.archiveWidth, state.archiveHeight);
    return false;
  }
  if (!buildTemplate(workspace)) {
    error = "the viewfinder " + std::to_string(state.viewfinderX) + "," + std::to_string(state.viewfinderY) +
            "," + std::to_string(state.viewfinderRadius) + " is too small to search with on the " +
            sizeText(state.queryWidth, state.queryHeight) + " query picture";
    return false;
  }
  return true;
}

bool walkArchive(Workspace& workspace, const ArchiveRange& range,
                const std::function<bool(const PictureResult&)>& onPicture, WalkSummary& summary,
                std::string& error) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;
  const Clock::time_point walkStart = Clock::now();
  summary = WalkSummary{};
  error.clear();

  // 64 bits, so that a range ending at the largest number still ends.
  for (std::uint64_t number = range.first; number <= range.last; ++number) {
    const std::uint32_t index = static_cast<std::uint32_t>(number);
    PictureResult result;
    result.index = index;
    result.file = archivePicturePath(range.folder, index);

    // The first missing number ends the archive; any other refusal is an error.
    bool missing = false;
    if (!loadPicture(result.file, "archive picture", images.archiveImage, state.archiveHeight,
                     state.archiveWidth, state.archiveByteCount, error, &missing)) {
      if (missing) error.clear();
      break;
    }
    if (state.archiveWidth != state.queryWidth || state.archiveHeight != state.queryHeight) {
      error = "archive picture '" + result.file + "' is " +
              sizeText(state.archiveWidth, state.archiveHeight) + " but the query picture is " +
              sizeText(state.queryWidth, state.queryHeight);
      break;
    }
    if (!processArchivePicture(workspace, result)) {
      error = "filter radius " + std::to_string(state.filterRadius) + " is above the largest, " +
              std::to_string(kMaxFilterRadius);
      break;
    }

    ++summary.scanned;
    if (result.matchFound) ++summary.matches;
    if (!onPicture(result)) break;
    if (result.matchFound && !range.all) break;
  }
  summary.totalMs = millisecondsSince(walkStart);
  return error.empty();
}

bool loadArchivePicture(const char* path, BgrImage& destination, std::uint32_t& height, std::uint32_t& width,
                       std::uint32_t& byteCount) {
  JpegLoadFailure failure;
  if (loadJpeg(path, destination, height, width, byteCount, &failure)) return true;
  if (failure.refusal != JpegRefusal::Missing) {
    std::fprintf(stderr, "orvalis: archive picture '%s' refused: %s\n", path,
                 describeJpegFailure(failure).c_str());
    std::fflush(stderr);
  }
  return false;
}

bool writeViewsOfMatch(Workspace& workspace, const std::string& folder, std::string& error) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;
  // The display pictures of a search tick: gray from the raw planes, the
  // viewfinder on the query; prepareMatchViews then marks the archive picture.
  drawQueryGray(workspace);
  drawViewfinderGlyph(images.queryImage.data(), state.queryWidth, state.queryHeight, state.viewfinderX,
                      state.viewfinderY, state.viewfinderRadius);
  drawArchiveGray(workspace);
  prepareMatchViews(workspace);
  std::string failedPath;
  if (!writeMatchViews(workspace, folder, &failedPath)) {
    error = "cannot write the match views to '" + failedPath + "'";
    return false;
  }
  return true;
}

}  // namespace orvalis
