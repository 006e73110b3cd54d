#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "control/archivePictures.h"
#include "control/searchSequence.h"
#include "control/searchStart.h"
#include "state/workspace.h"

namespace orvalis {

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

}  // namespace orvalis
