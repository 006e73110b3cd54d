#pragma once

#include <functional>
#include <string>
#include <vector>

#include "control/archiveWalk.h"

namespace orvalis {

// The last line of a shard's output (--shard): the summary of a plain run
// plus the range the shard was given and whether it went on after a match, so
// that a merge can tell a finished shard from a cut-off one and check that
// the shards tile the archive.
std::string shardSummaryJson(const WalkSummary& summary, const ArchiveRange& range);

// Joins the outputs of shards run with --shard over neighbouring ranges into
// what one run over their whole range reports: the pictures in archive
// order, up to the first match (or all of them with all), up to the first
// missing number, then one summary. totalMs is the sum of the shards' own
// totals, the work done, not the wall time. Every file is checked before
// anything is handed on: each line must be one the tool could have written,
// byte for byte, every value in the range the tool writes, no key twice, no
// line longer than the longest the tool writes (refused before it is read
// whole), the last one ended by its newline. A file that is not a finished
// shard (or not a regular file), a line the tool could not have written,
// shards that overlap or leave a gap: 0 with a one-line message naming the
// file and, for a line, its number. Returns 1 otherwise.
int mergeShards(const std::vector<std::string>& files, bool all,
                const std::function<void(const PictureResult&)>& onPicture, WalkSummary& summary,
                std::string& error);

}  // namespace orvalis
