#include "control/archivePictures.h"

#include <cstdio>

#include "files/archiveNaming.h"
#include "files/loadJpeg.h"
#include "files/matchViewFiles.h"
#include "files/paths.h"
#include "imaging/glyphs.h"
#include "matching/matchViews.h"
#include "matching/searchSteps.h"

namespace orvalis {

std::string archivePicturePath(const std::string& folder, std::uint32_t index) {
  // The name proper follows "Image_Archive/" in the program's own name.
  const ArchiveFileName name = archiveFileName(static_cast<std::int32_t>(index));
  return folder + "/" + (name.c_str() + sizeof(kArchiveFolder));
}

std::string pictureSizeText(std::uint32_t width, std::uint32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

bool loadPicture(const std::string& path, const char* role, BgrImage& destination, std::uint32_t& width,
                 std::uint32_t& height, std::string& error, bool* missing) {
  JpegLoadFailure failure;
  if (loadJpeg(path.c_str(), destination, width, height, &failure)) return true;
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

bool loadArchivePicture(const char* path, BgrImage& destination, std::uint32_t& width,
                        std::uint32_t& height) {
  JpegLoadFailure failure;
  if (loadJpeg(path, destination, width, height, &failure)) return true;
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
