#pragma once

#include <string>

#include "state/workspace.h"

namespace orvalis {

// File names of the match views, written into one folder.
inline constexpr const char kQueryViewFile[] = "query.png";
inline constexpr const char kArchiveViewFile[] = "archive.png";
inline constexpr const char kTemplatePreviewFile[] = "template-preview.png";
inline constexpr const char kMatchPreviewFile[] = "match-preview.png";
inline constexpr const char kDifferencePreviewFile[] = "difference-preview.png";

// Writes the pictures the window shows after a match as PNG files in folder
// (created when missing): queryImage (the gray query with the viewfinder
// glyph, as the timer cycle leaves it), archiveImage (the gray archive
// picture with the match glyph), and the template, match and difference
// previews. The pictures are written as they stand; call it once
// prepareMatchViews has run. True when all five files were written; false
// at the first failure (with its path in failedPath when given), for example
// a folder that can't be created or previews of side 0 (a viewfinder radius
// below 2).
[[nodiscard]] bool writeMatchViews(const Workspace& workspace, const std::string& folder,
                                   std::string* failedPath = nullptr);

}  // namespace orvalis
