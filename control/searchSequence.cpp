#include "control/searchSequence.h"

#include <chrono>
#include <cstdio>

#include "matching/ringSignature.h"
#include "matching/searchSteps.h"

namespace orvalis {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

bool buildTemplate(Workspace& workspace) {
  splitQueryPlanes(workspace);
  // Both always run: a refused signature leaves the histograms empty rather
  // than stale.
  const bool signature = buildTemplateSignature(workspace);
  const bool histograms = buildTemplateHistograms(workspace.state);
  return signature && histograms;
}

bool processArchivePicture(Workspace& workspace, PictureResult& result,
                           const std::function<void()>& afterSplit) {
  SearchState& state = workspace.state;
  result.width = state.archiveWidth;
  result.height = state.archiveHeight;
  result.matchFound = false;

  Clock::time_point start = Clock::now();
  splitArchivePlanes(workspace);
  if (afterSplit) afterSplit();
  if (!filterArchiveImage(workspace)) return false;
  result.filterMs = millisecondsSince(start);

  start = Clock::now();
  result.matchFound = scanArchiveImage(workspace, static_cast<double>(state.viewfinderRadius));
  result.scanMs = millisecondsSince(start);
  if (result.matchFound) {
    result.matchX = state.matchX;
    result.matchY = state.matchY;
    result.matchAngle = state.matchAngle;
    result.matchAngleDeg = state.consensusAngleDeg;
  }
  return true;
}

const char* formatPictureLine(const PictureResult& result, char* text, std::size_t size) {
  if (result.matchFound) {
    std::snprintf(
        text, size,
        "%s  %ux%u  MATCH at column %u, row %u, turned %.2f degrees  (filter %.1f ms, scan %.1f ms)",
        result.file.c_str(), result.width, result.height, result.matchX, result.matchY, result.matchAngleDeg,
        result.filterMs, result.scanMs);
  } else {
    std::snprintf(text, size, "%s  %ux%u  no match  (filter %.1f ms, scan %.1f ms)", result.file.c_str(),
                  result.width, result.height, result.filterMs, result.scanMs);
  }
  return text;
}

}  // namespace orvalis
