#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "state/workspace.h"

namespace orvalis {

// The search as both faces run it, the window one picture per tick and the
// headless tool in a loop: build the template once, then process archive
// pictures one after the other. The kernels are the workspace's own
// (useKernels), chosen once where the workspace is made.

// The template from the query picture in queryImage (queryWidth x
// queryHeight): its channels, the filtered gray plane, the ring signature and
// the histograms. False when the template can't be built soundly (see
// templateBuildable); the search must not run then.
[[nodiscard]] bool buildTemplate(Workspace& workspace);

// Milliseconds from start until now, as every time the search reports.
double millisecondsSince(std::chrono::steady_clock::time_point start);

// The outcome for one archive picture. The match fields are meaningful only
// when matchFound is true.
struct PictureResult {
  std::uint32_t index = 0;
  std::string file;
  std::uint32_t width = 0, height = 0;
  bool matchFound = false;
  std::uint32_t matchX = 0, matchY = 0;
  double matchAngle = 0;     // radians
  double matchAngleDeg = 0;  // the consensus angle the radians come from
  double filterMs = 0, scanMs = 0;
  // With a search profile (any option beyond the plain search): the reports
  // carry the score and scale, and every copy found, the first being the
  // match above.
  bool profiled = false;
  std::uint32_t matchesWanted = 1;  // more than 1: every copy is listed
  std::uint32_t matchCount = 0;
  FoundMatch matches[kMaxMatches];
};

// One archive picture, loaded into archiveImage with the query's size: its
// channels, the filtered gray plane and the scan with the viewfinder radius.
// Fills the size, match and timing fields of result. False, with nothing
// scanned, when the filter radius is beyond the largest the filter takes.
// afterSplit, when given, runs once the channels are split: from then on
// archiveImage is read no more, so the next picture may be decoded into it
// while this one is filtered and scanned.
[[nodiscard]] bool processArchivePicture(Workspace& workspace, PictureResult& result,
                                         const std::function<void()>& afterSplit = {});

// The line a person reads for one picture, as `orvalis-search --human` and
// the window's --log print it: the file, the size, the match (column, row,
// degrees) or "no match", and the times. The line has no length limit: a
// file name of any length prints whole.

// Writes the line and its newline to out, without allocating (the window
// logs from its tick). False when the write fails.
bool writePictureLine(std::FILE* out, const PictureResult& result);

// The same line as a string, without the newline.
std::string pictureLineText(const PictureResult& result);

}  // namespace orvalis
