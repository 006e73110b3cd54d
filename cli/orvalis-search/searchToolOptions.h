#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/archiveWalk.h"

namespace orvalis {

// What the headless search tool was asked to do: the search set-up and how
// to walk and report. Every field left at its default means "as the window
// would do it in still-image mode".
struct SearchToolOptions : SearchSetup {
  // Non-empty: the working folder, entered before anything else (the plain
  // argument FOLDER).
  std::string folder;
  // Archive numbers to walk, both inclusive; the walk also ends at the first
  // missing number.
  std::uint32_t first = 0;
  std::uint32_t last = 4294967295u;
  std::string viewsFolder;  // non-empty: after a match, write the match views there as PNG files
  bool all = false;         // go on after a match
  bool human = false;       // terminal lines instead of JSON
  bool progress = false;    // progress on standard error even when it is not a terminal
  bool reference = false;   // the plain reference kernels instead of the fast ones
  bool help = false;
  bool version = false;

  // Job arrays: a shard's summary names its range and "no match" exits 0;
  // --merge joins the shards' outputs (the files) instead of searching.
  bool shard = false;
  bool merge = false;
  std::vector<std::string> mergeFiles;
};

// Outcome of parsing: options, or one line saying what is wrong.
struct ParsedSearchToolOptions {
  bool ok = false;
  SearchToolOptions options;
  std::string error;
};

// Parses the arguments after the program name. Accepts "--name value" and
// "--name=value"; an option given twice keeps the last value. Strict: an
// unknown option, a value given to a flag (even an empty one, "--human="), a
// missing value, or a path option followed by an argument that starts with a
// dash (a forgotten value) is refused. "--" ends the options. The plain
// arguments are --merge's files, or else one FOLDER. Never throws and never
// exits; anything it can't use gives ok = false and a message naming the
// argument.
ParsedSearchToolOptions parseSearchToolOptions(const std::vector<std::string>& arguments);

// The text of --help, made from the same option table as the parser.
std::string searchToolUsage();

// The text of --version: "orvalis-search X.Y.Z", then the licence.
const char* searchToolVersion();

}  // namespace orvalis
