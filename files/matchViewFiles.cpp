#include "files/matchViewFiles.h"

#include <filesystem>
#include <system_error>

#include "files/writePng.h"

namespace orvalis {

bool writeMatchViews(const Workspace& workspace, const std::string& folder, std::string* failedPath) {
  const SearchState& s = workspace.state;
  const ImageStore& im = workspace.images;

  struct View {
    const char* name;
    const BgrImage& picture;
    std::uint32_t width, height;
  };
  const View views[] = {
      {kQueryViewFile, im.queryImage, s.queryWidth, s.queryHeight},
      {kArchiveViewFile, im.archiveImage, s.archiveWidth, s.archiveHeight},
      {kTemplatePreviewFile, im.templatePreview, s.previewWidth, s.previewHeight},
      {kMatchPreviewFile, im.matchPreview, s.previewWidth, s.previewHeight},
      {kDifferencePreviewFile, im.differencePreview, s.previewWidth, s.previewHeight},
  };

  const std::filesystem::path base(folder);
  std::error_code error;
  std::filesystem::create_directories(base, error);  // failure shows up at the first write

  for (const View& view : views) {
    const std::string path = (base / view.name).string();
    if (writePng(path, view.picture.data(), view.width, view.height) == 0) {
      if (failedPath != nullptr) *failedPath = path;
      return false;
    }
  }
  return true;
}

}  // namespace orvalis
