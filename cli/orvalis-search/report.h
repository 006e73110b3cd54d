#pragma once

#include <string>

#include "control/archiveWalk.h"

namespace orvalis {

// One JSON object on one line, no trailing newline, always valid UTF-8 (bytes
// of a file name that are not UTF-8 become U+FFFD). The match keys are null
// when the picture holds no match.
std::string pictureJson(const PictureResult& result);
std::string summaryJson(const WalkSummary& summary);

// The same for a terminal.
std::string pictureLine(const PictureResult& result);
std::string summaryLine(const WalkSummary& summary);

}  // namespace orvalis
