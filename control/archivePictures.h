#pragma once

#include <cstdint>
#include <string>

#include "state/imageStore.h"
#include "state/workspace.h"

namespace orvalis {

// "<folder>/Image_NNNNNNNNNN.jpg" for an archive number.
std::string archivePicturePath(const std::string& folder, std::uint32_t index);

// "<width>x<height>", as messages give a picture's size.
std::string pictureSizeText(std::uint32_t width, std::uint32_t height);

// Loads a picture and words a failure with its real cause and the picture's
// role ("query picture"): "'<path>' not found", "cannot read ..." or
// "cannot decode ...". A missing file is told apart in missing, since only a
// missing archive number ends a walk quietly.
[[nodiscard]] bool loadPicture(const std::string& path, const char* role, BgrImage& destination,
                               std::uint32_t& width, std::uint32_t& height, std::string& error,
                               bool* missing = nullptr);

// Loads an archive picture for the window's walk, like loadJpeg. A missing
// file, the normal end of the archive, is quiet; any other refusal ends or
// restarts the walk there, so it writes one line on standard error naming the
// file and the reason.
[[nodiscard]] bool loadArchivePicture(const char* path, BgrImage& destination, std::uint32_t& width,
                                      std::uint32_t& height);

// After a walk reported a match (the workspace still holds that picture):
// builds what the window would show, the gray query with the viewfinder
// glyph, the gray archive picture with the match glyph and the three
// previews, and writes them as PNG files into folder (created if need be).
// False with a message in error.
[[nodiscard]] bool writeViewsOfMatch(Workspace& workspace, const std::string& folder, std::string& error);

}  // namespace orvalis
