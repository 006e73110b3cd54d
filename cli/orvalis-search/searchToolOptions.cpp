#include "cli/orvalis-search/searchToolOptions.h"

#include <limits>

#include "state/constants.h"

namespace orvalis {

namespace {

// Plain decimal digits only: no sign, no blanks, no base prefix, no overflow.
bool parseNumber(const std::string& text, std::uint64_t maximum, std::uint64_t& value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (result > maximum) return false;
  value = result;
  return true;
}

std::string rangeError(const std::string& option, const std::string& text, std::uint64_t low,
                       std::uint64_t high) {
  return option + ": '" + text + "' is not a whole number from " + std::to_string(low) + " to " +
         std::to_string(high);
}

bool parseInRange(const std::string& option, const std::string& text, std::uint64_t low, std::uint64_t high,
                  std::uint64_t& value, std::string& error) {
  if (!parseNumber(text, high, value) || value < low) {
    error = rangeError(option, text, low, high);
    return false;
  }
  return true;
}

// "X,Y,R": column, row and radius of the viewfinder.
bool parseViewfinder(const std::string& text, SearchToolOptions& options, std::string& error) {
  std::uint64_t parts[3] = {};
  std::size_t start = 0;
  for (int part = 0; part < 3; ++part) {
    const std::size_t comma = part < 2 ? text.find(',', start) : text.size();
    if (comma == std::string::npos) break;
    const std::string piece = text.substr(start, comma - start);
    const std::uint64_t high = part < 2 ? std::numeric_limits<std::uint32_t>::max()
                                        : static_cast<std::uint64_t>(kMaxViewfinderRadius);
    if (!parseNumber(piece, high, parts[part]) || (part == 2 && parts[part] < 1)) {
      error = "--viewfinder: '" + text + "' is not X,Y,R (whole numbers, R from 1 to " +
              std::to_string(static_cast<int>(kMaxViewfinderRadius)) + ")";
      return false;
    }
    if (part == 2) {
      options.viewfinderX = static_cast<std::uint32_t>(parts[0]);
      options.viewfinderY = static_cast<std::uint32_t>(parts[1]);
      options.viewfinderRadius = static_cast<std::uint32_t>(parts[2]);
      return true;
    }
    start = comma + 1;
  }
  error = "--viewfinder: '" + text + "' is not X,Y,R (three whole numbers separated by commas)";
  return false;
}

// --shard and --merge, checked once every argument is read. A merge reads
// only files, so any search option with it is a mistake, not a default.
bool checkShardAndMerge(const SearchToolOptions& options, bool rangeGiven, std::string& error) {
  if (!options.merge) {
    if (!options.mergeFiles.empty()) error = "unexpected argument '" + options.mergeFiles.front() + "'";
    if (options.shard && options.human) error = "--shard writes JSON lines; it can't go with --human";
    return error.empty();
  }
  const bool searchOption = rangeGiven || options.shard || options.progress || options.reference ||
                            !options.queryPath.empty() || options.archiveFolder != kArchiveFolder ||
                            options.parametersPath || options.viewfinderRadius || options.filterRadius ||
                            options.colorTolerance || !options.viewsFolder.empty();
  if (searchOption) {
    error = "--merge joins shard files and takes only --all and --human besides them";
  } else if (options.mergeFiles.empty()) {
    error = "--merge needs the shards' output files";
  }
  return error.empty();
}

}  // namespace

ParsedSearchToolOptions parseSearchToolOptions(const std::vector<std::string>& arguments) {
  ParsedSearchToolOptions parsed;
  SearchToolOptions& options = parsed.options;
  std::string& error = parsed.error;
  bool firstGiven = false, lastGiven = false;

  for (std::size_t index = 0; index < arguments.size(); ++index) {
    std::string name = arguments[index];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0) {
      const std::size_t equals = name.find('=');
      if (equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        name = name.substr(0, equals);
      }
    }

    // Flags take no value.
    bool* flag = name == "--all"                    ? &options.all
                 : name == "--human"                ? &options.human
                 : name == "--progress"             ? &options.progress
                 : name == "--reference"            ? &options.reference
                 : name == "--help" || name == "-h" ? &options.help
                 : name == "--shard"                ? &options.shard
                 : name == "--merge"                ? &options.merge
                                                    : nullptr;
    if (flag != nullptr) {
      if (inlineValue) {
        error = name + " takes no value";
        return parsed;
      }
      *flag = true;
      continue;
    }

    const bool takesValue = name == "--query" || name == "--archive" || name == "--parameters" ||
                            name == "--viewfinder" || name == "--filter-radius" || name == "--tolerance" ||
                            name == "--first" || name == "--last" || name == "--views";
    if (!takesValue && name.rfind("-", 0) != 0) {
      options.mergeFiles.push_back(name);  // only --merge takes plain arguments
      continue;
    }
    if (!takesValue) {
      error = name.rfind("-", 0) == 0 ? "unknown option " + name : "unexpected argument '" + name + "'";
      return parsed;
    }
    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (index + 1 < arguments.size()) {
      value = arguments[++index];
    } else {
      error = name + " needs a value";
      return parsed;
    }

    std::uint64_t number = 0;
    if (name == "--query" || name == "--archive" || name == "--parameters" || name == "--views") {
      if (value.empty()) {
        error = name + " needs a non-empty path";
        return parsed;
      }
      if (name == "--query") options.queryPath = value;
      if (name == "--archive") options.archiveFolder = value;
      if (name == "--parameters") options.parametersPath = value;
      if (name == "--views") options.viewsFolder = value;
    } else if (name == "--viewfinder") {
      if (!parseViewfinder(value, options, error)) return parsed;
    } else if (name == "--filter-radius") {
      if (!parseInRange(name, value, 1, kMaxFilterRadius, number, error)) return parsed;
      options.filterRadius = static_cast<std::uint32_t>(number);
    } else if (name == "--tolerance") {
      if (!parseInRange(name, value, 0, 255, number, error)) return parsed;
      options.colorTolerance = static_cast<std::uint8_t>(number);
    } else {
      if (!parseInRange(name, value, 0, std::numeric_limits<std::uint32_t>::max(), number, error))
        return parsed;
      (name == "--first" ? options.first : options.last) = static_cast<std::uint32_t>(number);
      (name == "--first" ? firstGiven : lastGiven) = true;
    }
  }

  if (!checkShardAndMerge(options, firstGiven || lastGiven, error)) return parsed;
  if (firstGiven && lastGiven && options.first > options.last) {
    error = "--first " + std::to_string(options.first) + " is after --last " + std::to_string(options.last);
    return parsed;
  }
  parsed.ok = true;
  return parsed;
}

const char* searchToolUsage() {
  return R"(Usage: orvalis-search [options]

Searches the numbered archive pictures for the viewfinder region of the query
picture, in any rotation, as the window does in still-image mode. Run in the
folder that holds res/ and Image_Archive/, or name the parts with the options.

By default it reads res/Combo_Box_Parameters.bin (or the default parameters),
checks the stored viewfinder against Image_Archive/Image_0000000000.jpg and
places it at the picture's centre when it does not fit, takes
Image_Archive/Current_Image.jpg as the query, and walks the archive from
picture 0 to the first match or the first missing number.

Options:
  --query FILE         query picture (default: Current_Image.jpg in the archive folder)
  --archive DIR        folder of Image_NNNNNNNNNN.jpg (default: Image_Archive)
  --parameters FILE    parameters file (default: res/Combo_Box_Parameters.bin)
  --viewfinder X,Y,R   viewfinder centre column, row and radius (1 to 250); it must
                       lie inside archive picture 0 with a margin of one pixel
  --filter-radius N    circular mean filter radius, 1 to 20
  --tolerance N        gray-level tolerance, 0 to 255 (the window offers 2 to 40)
  --first N            first archive number to scan (default 0)
  --last N             last archive number to scan (default: until a number is missing)
  --all                go on after a match and report every picture that holds one
  --views DIR          after a match, write into DIR the marked archive picture, the
                       gray query with its viewfinder and the three previews as PNG
                       files (with --all, one folder DIR/NNNNNNNNNN per match)
  --human              one readable line per picture instead of JSON
  --progress           progress on standard error even when it is not a terminal
  --reference          use the plain reference kernels (filter, sampling, candidate
                       test, alignment, scan) instead of the fast ones; the results
                       are the same, only slower, so the two can be compared
  --shard              for job arrays: the summary also names the range walked
                       ({"shard": {"first", "last", "all"}}) and the exit status is 0
                       with no match too, so a scheduler counts the task as done
  --merge FILE...      join the outputs of --shard runs over neighbouring ranges
                       into what one run over their whole range prints (totalMs is
                       the sum of the shards'); with --all every match, else up to
                       the first; any unfinished, damaged, overlapping or missing
                       shard is an error naming it
  -h, --help           this text

Output: one JSON object per scanned picture on standard output, with the keys
index, file, width, height, matchFound, matchX, matchY, matchAngle (radians),
matchAngleDeg, filterMs, scanMs (the match keys are null without a match), then
one summary object {"summary": true, "scanned", "matches", "totalMs"}.

Exit status: 0 when a match was found, 1 when none was, 2 on an error (one line
on standard error says what is wrong).
)";
}

}  // namespace orvalis
