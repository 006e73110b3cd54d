#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "control/searchSequence.h"
#include "control/viewfinderCheck.h"
#include "files/paths.h"
#include "state/workspace.h"

namespace orvalis {

// Where the search reads its pictures and what overrides the stored
// parameters. Every field left at its default means "as the window would do
// it in still-image mode".
struct SearchSetup {
  std::string archiveFolder = kArchiveFolder;
  std::string queryPath;                      // empty: Current_Image.jpg in archiveFolder
  std::optional<std::string> parametersPath;  // default: res/Combo_Box_Parameters.bin, silently optional

  // An explicit viewfinder must fit archive picture 0; without one the stored
  // viewfinder is checked and, if need be, reset to the picture's centre.
  std::optional<std::uint32_t> viewfinderX, viewfinderY, viewfinderRadius;
  std::optional<std::uint32_t> filterRadius;
  std::optional<std::uint8_t> colorTolerance;

  // The query file actually used.
  std::string query() const;
};

// "<folder>/Image_NNNNNNNNNN.jpg" for an archive number.
std::string archivePicturePath(const std::string& folder, std::uint32_t index);

// Everything before the first archive picture, as start-up does it in
// still-image mode: the parameters file (or the defaults) with the set-up's
// overrides, archive picture 0 and the viewfinder (an explicit one must fit,
// a stored one is checked and reset), the query picture, which must have
// picture 0's size, and the template.
// False with a one-line message in error.
[[nodiscard]] bool prepareSearch(Workspace& workspace, const SearchSetup& options, std::string& error);

// Which archive pictures to scan.
struct ArchiveRange {
  std::string folder;
  std::uint32_t first = 0;
  std::uint32_t last = 4294967295u;  // inclusive
  bool all = false;                  // go on after a match
};

struct WalkSummary {
  std::uint64_t scanned = 0;
  std::uint64_t matches = 0;
  double totalMs = 0;
};

// Walks the archive numbers of the range after prepareSearch: loads each
// picture, requires the query's size, splits, filters and scans it with the
// viewfinder radius, and hands the result to onPicture. Ends at the first
// missing number, after range.last, after the first picture with a match
// unless range.all, or when onPicture returns false (its caller can't go on,
// and says why itself). False with a message in error, having stopped there,
// when a picture exists but can't be read or decoded or its size differs from
// the query's. With decodeAhead the next picture is decoded on a thread of
// its own while the current one is filtered and scanned (the results and
// their order stay the same); onPicture must then leave archiveImage alone.
[[nodiscard]] bool walkArchive(Workspace& workspace, const ArchiveRange& range,
                               const std::function<bool(const PictureResult&)>& onPicture,
                               WalkSummary& summary, std::string& error, bool decodeAhead = true);

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
