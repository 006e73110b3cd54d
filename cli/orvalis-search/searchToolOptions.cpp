#include "cli/orvalis-search/searchToolOptions.h"

#include <orvalisVersion.h>

#include <algorithm>
#include <functional>
#include <limits>

#include "control/profileOptions.h"
#include "state/constants.h"

namespace orvalis {

namespace {

constexpr std::uint64_t kMaxUint32 = std::numeric_limits<std::uint32_t>::max();

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

// "X,Y,R": column, row and radius of the viewfinder; false unless all three fit.
bool parseViewfinder(const std::string& text, std::uint64_t (&parts)[3]) {
  std::size_t start = 0;
  for (int part = 0; part < 3; ++part) {
    const std::size_t comma = part < 2 ? text.find(',', start) : text.size();
    if (comma == std::string::npos) return false;
    const std::uint64_t high = part < 2 ? kMaxUint32 : static_cast<std::uint64_t>(kMaxViewfinderRadius);
    if (!parseNumber(text.substr(start, comma - start), high, parts[part])) return false;
    start = comma + 1;
  }
  return parts[2] >= 1;
}

// What an option takes after it.
enum class Takes { Nothing, Path, Value };

// One option of the tool: its name, what it takes (meta names the value in
// the help), the help text, and what it does with the value: an empty string,
// or what is wrong with the value.
struct Option {
  const char* name;
  Takes takes;
  const char* meta;
  const char* help;
  std::function<std::string(const std::string&)> set;
};

std::string wholeNumber(const std::string& text, std::uint64_t low, std::uint64_t high,
                        std::uint64_t& value) {
  if (parseNumber(text, high, value) && value >= low) return "";
  return "'" + text + "' is not a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

// Which of the range options were given, for the checks after parsing.
struct Given {
  bool first = false, last = false;
};

// Every option of the tool, bound to the fields of o, in the order of the
// help text.
std::vector<Option> optionTable(SearchToolOptions& o, Given& given) {
  const auto path = [](std::string& field) {
    return [&field](const std::string& v) -> std::string {
      field = v;
      return v.empty() ? "needs a non-empty path" : "";
    };
  };
  const auto flag = [](bool& field) {
    return [&field](const std::string&) -> std::string {
      field = true;
      return "";
    };
  };
  const auto number = [](std::uint64_t low, std::uint64_t high, auto store) {
    return [low, high, store](const std::string& v) -> std::string {
      std::uint64_t value = 0;
      std::string error = wholeNumber(v, low, high, value);
      if (error.empty()) store(value);
      return error;
    };
  };
  std::vector<Option> table = {
      {"--query", Takes::Path, "FILE", "query picture (default: Current_Image.jpg in the archive folder)",
       path(o.queryPath)},
      {"--archive", Takes::Path, "DIR", "folder of Image_NNNNNNNNNN.jpg (default: Image_Archive)",
       path(o.archiveFolder)},
      {"--parameters", Takes::Path, "FILE", "parameters file (default: res/Combo_Box_Parameters.bin)",
       [&o](const std::string& v) -> std::string {
         o.parametersPath = v;
         return v.empty() ? "needs a non-empty path" : "";
       }},
      {"--viewfinder", Takes::Value, "X,Y,R",
       "viewfinder centre column, row and radius (1 to 250); it must lie inside archive picture 0 with a "
       "margin of one pixel",
       [&o](const std::string& v) -> std::string {
         std::uint64_t parts[3] = {};
         if (!parseViewfinder(v, parts)) {
           return "'" + v + "' is not X,Y,R (whole numbers separated by commas, R from 1 to " +
                  std::to_string(static_cast<int>(kMaxViewfinderRadius)) + ")";
         }
         o.viewfinderX = static_cast<std::uint32_t>(parts[0]);
         o.viewfinderY = static_cast<std::uint32_t>(parts[1]);
         o.viewfinderRadius = static_cast<std::uint32_t>(parts[2]);
         return "";
       }},
      {"--filter-radius", Takes::Value, "N", "circular mean filter radius, 1 to 20",
       number(1, kMaxFilterRadius,
              [&o](std::uint64_t v) { o.filterRadius = static_cast<std::uint32_t>(v); })},
      {"--tolerance", Takes::Value, "N", "gray-level tolerance, 0 to 255 (the window offers 2 to 40)",
       number(0, 255, [&o](std::uint64_t v) { o.colorTolerance = static_cast<std::uint8_t>(v); })},
      {"--first", Takes::Value, "N", "first archive number to scan (default 0)",
       number(0, kMaxUint32,
              [&o, &given](std::uint64_t v) {
                o.first = static_cast<std::uint32_t>(v);
                given.first = true;
              })},
      {"--last", Takes::Value, "N", "last archive number to scan (default: until a number is missing)",
       number(0, kMaxUint32,
              [&o, &given](std::uint64_t v) {
                o.last = static_cast<std::uint32_t>(v);
                given.last = true;
              })},
      {"--all", Takes::Nothing, nullptr, "go on after a match and report every picture that holds one",
       flag(o.all)},
      {"--views", Takes::Path, "DIR",
       "after a match, write into DIR the marked archive picture, the gray query with its viewfinder and "
       "the three previews as PNG files (with --all, one folder DIR/NNNNNNNNNN per match)",
       path(o.viewsFolder)},
      {"--human", Takes::Nothing, nullptr, "one readable line per picture instead of JSON", flag(o.human)},
      {"--progress", Takes::Nothing, nullptr, "progress on standard error even when it is not a terminal",
       flag(o.progress)},
      {"--reference", Takes::Nothing, nullptr,
       "use the plain reference kernels (filter, sampling, candidate test, alignment, scan) instead of the "
       "fast ones; the results are the same, only slower, so the two can be compared",
       flag(o.reference)},
      {"--shard", Takes::Nothing, nullptr,
       "for job arrays: the summary also names the range walked ({\"shard\": {\"first\", \"last\", "
       "\"all\"}}) and the exit status is 0 with no match too, so a scheduler counts the task as done",
       flag(o.shard)},
      {"--merge", Takes::Nothing, nullptr,
       "join the output FILEs of --shard runs over neighbouring ranges into what one run over their whole "
       "range prints (totalMs is the sum of the shards'); with --all every match, else up to the first; any "
       "unfinished, damaged, overlapping or missing shard is an error naming it",
       flag(o.merge)},
      {"--version", Takes::Nothing, nullptr, "the version and the licence, then exit", flag(o.version)},
      {"--help", Takes::Nothing, nullptr, "this text (also -h)", flag(o.help)},
  };
  // The search profile's options, shared with the window, after the
  // parameters.
  std::vector<Option> profile;
  for (const ProfileOption& option : kProfileOptions) {
    profile.push_back(
        {option.name, option.takesValue ? Takes::Value : Takes::Nothing, option.meta, option.help,
         [&o, &option](const std::string& v) { return applyProfileOption(option, v, o.profile); }});
  }
  table.insert(table.begin() + 6, profile.begin(), profile.end());
  return table;
}

// Words of text in lines of at most width characters.
std::string wrap(const std::string& text, std::size_t width) {
  std::string out, line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  return out + line;
}

// --shard and --merge, checked once every argument is read. A merge reads
// only files, so any search option with it is a mistake, not a default.
bool checkShardAndMerge(const SearchToolOptions& options, bool rangeGiven, std::string& error) {
  if (!options.merge) {
    if (options.shard && options.human) error = "--shard writes JSON lines; it can't go with --human";
    return error.empty();
  }
  const bool searchOption = rangeGiven || options.shard || options.progress || options.reference ||
                            !options.queryPath.empty() || options.archiveFolder != kArchiveFolder ||
                            options.parametersPath || options.viewfinderRadius || options.filterRadius ||
                            options.colorTolerance || !options.viewsFolder.empty() || options.profile.given;
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
  Given given;
  const std::vector<Option> table = optionTable(options, given);
  std::vector<std::string> plain;
  const auto refuse = [&parsed](const std::string& message) {
    parsed.error = message;
    return parsed;
  };
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      if (argument.empty()) return refuse("an empty argument where a FOLDER or FILE is due");
      plain.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value" gives its value inline, whatever it starts with; only
    // long names take one that way.
    const std::size_t equals = argument.rfind("--", 0) == 0 ? argument.find('=') : std::string::npos;
    const std::string name = argument == "-h" ? "--help" : argument.substr(0, equals);
    const Option* option = nullptr;
    for (const Option& candidate : table) {
      if (name == candidate.name) option = &candidate;
    }
    if (option == nullptr) return refuse("unknown option " + argument.substr(0, equals));
    std::string value;
    if (option->takes == Takes::Nothing) {
      if (equals != std::string::npos) return refuse(name + " takes no value");
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 == arguments.size()) {
      return refuse(name + " needs a value (" + std::string(option->meta) + ")");
    } else {
      value = arguments[++i];
      // A forgotten value must not turn the next option into a file name:
      // a path that starts with a dash is given as --name=-x or --name ./-x.
      if (option->takes == Takes::Path && !value.empty() && value[0] == '-') {
        return refuse(name + " needs a " + option->meta + ", not the option '" + value + "' (write " + name +
                      "=" + value + " or " + name + " ./" + value + " for a name that starts with a dash)");
      }
    }
    const std::string error = option->set(value);
    if (!error.empty()) return refuse(name + ": " + error);
  }

  // Plain arguments are --merge's files, or else the one FOLDER.
  if (options.merge) {
    options.mergeFiles = plain;
  } else if (plain.size() > 1) {
    return refuse("unexpected argument '" + plain[1] + "' (one FOLDER at most; --merge takes files)");
  } else if (!plain.empty()) {
    options.folder = plain.front();
  }
  if (!checkShardAndMerge(options, given.first || given.last, parsed.error)) return parsed;
  if (given.first && given.last && options.first > options.last) {
    return refuse("--first " + std::to_string(options.first) + " is after --last " +
                  std::to_string(options.last));
  }
  parsed.ok = true;
  return parsed;
}

std::string searchToolUsage() {
  SearchToolOptions options;
  Given given;
  std::string text = R"(Usage: orvalis-search [options] [FOLDER]
       orvalis-search --merge [--all] [--human] [--] FILE...

Searches the numbered archive pictures for the viewfinder region of the query
picture, in any rotation, as the window does in still-image mode. Run in the
folder that holds res/ and Image_Archive/, or name it as FOLDER: the tool
changes into FOLDER before anything else, so "orvalis-search FOLDER" is the
same as running orvalis-search in FOLDER (relative paths in the options too).
Or name the parts with the options.

By default it reads res/Combo_Box_Parameters.bin (or the default parameters),
checks the stored viewfinder against Image_Archive/Image_0000000000.jpg and
places it at the picture's centre when it does not fit, takes
Image_Archive/Current_Image.jpg as the query, and walks the archive from
picture 0 to the first match or the first missing number.

Options:
)";
  constexpr std::size_t kColumn = 23;
  for (const Option& option : optionTable(options, given)) {
    std::string left = std::string("  ") + option.name + (option.meta ? std::string(" ") + option.meta : "");
    left.resize(std::max(left.size() + 1, kColumn), ' ');
    std::string help = wrap(option.help, 80 - kColumn);
    for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
      help.insert(at + 1, kColumn, ' ');
    }
    text += left + help + "\n";
  }
  return text + R"(
An option's value follows it as "--name value" or "--name=value"; an option
given twice keeps the last value. A FILE or DIR that starts with a dash must
be given as --name=-x or --name ./-x: after an option that takes one, an
argument that starts with a dash is refused, so that a forgotten value does not
swallow the next option. "--" ends the options: every argument after it is
FOLDER or, with --merge, a FILE, even one that starts with a dash.

Output: one JSON object per scanned picture on standard output, with the keys
index, file, width, height, matchFound, matchX, matchY, matchAngle (radians),
matchAngleDeg, filterMs, scanMs (the match keys are null without a match), then
one summary object {"summary": true, "scanned", "matches", "totalMs"}. With
--matches, --max-score, --angles, --scales or --light each picture line also
holds scale (the copy's size against the query region's) and score (lower is
better) after matchAngleDeg, and with --matches above 1 "matches": a list of
every copy found, {"matchX", "matchY", "matchAngle", "matchAngleDeg", "scale",
"score"}, the first being the top-level match.

Exit status: 0 when a match was found, 1 when none was, 2 on an error (one line
on standard error says what is wrong), a misused option or a FOLDER that can't
be entered included.
)";
}

const char* searchToolVersion() {
  return "orvalis-search " ORVALIS_VERSION "\nLicence: MIT. Copyright (c) 2026 the Orvalis developers.";
}

}  // namespace orvalis
