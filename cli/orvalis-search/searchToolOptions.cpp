#include "cli/orvalis-search/searchToolOptions.h"

#include <orvalisVersion.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>

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

// The values each option accepts. CLI11 runs them on the text before the
// option's callback sees it, and names the option in the message.
CLI::Validator wholeNumber(std::uint64_t low, std::uint64_t high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        std::uint64_t value = 0;
        if (parseNumber(text, high, value) && value >= low) return "";
        return "'" + text + "' is not a whole number from " + std::to_string(low) + " to " +
               std::to_string(high);
      },
      "");
}

const CLI::Validator kPath(
    [](std::string& text) -> std::string { return text.empty() ? "needs a non-empty path" : ""; }, "");

const CLI::Validator kViewfinder(
    [](std::string& text) -> std::string {
      std::uint64_t parts[3] = {};
      if (parseViewfinder(text, parts)) return "";
      return "'" + text + "' is not X,Y,R (whole numbers separated by commas, R from 1 to " +
             std::to_string(static_cast<int>(kMaxViewfinderRadius)) + ")";
    },
    "");

std::uint32_t toUint32(const std::string& text) {
  std::uint64_t value = 0;
  parseNumber(text, kMaxUint32, value);  // already checked by the option's validator
  return static_cast<std::uint32_t>(value);
}

// Every option of the tool, bound to the fields of options. One line an
// option: name, what it sets, the help text, the values it takes.
void defineOptions(CLI::App& app, SearchToolOptions& o, bool& firstGiven, bool& lastGiven) {
  using Text = std::function<void(const std::string&)>;
  const auto value = [&app](const char* name, Text set, const char* meta, const char* help,
                            const CLI::Validator& check) {
    app.add_option_function<std::string>(name, std::move(set), help)->type_name(meta)->check(check);
  };
  const auto flag = [&app](const char* name, bool& field, const char* help) {
    app.add_flag(name, field, help)->disable_flag_override();
  };
  value(
      "--query", [&o](const std::string& v) { o.queryPath = v; }, "FILE",
      "query picture (default: Current_Image.jpg in the archive folder)", kPath);
  value(
      "--archive", [&o](const std::string& v) { o.archiveFolder = v; }, "DIR",
      "folder of Image_NNNNNNNNNN.jpg (default: Image_Archive)", kPath);
  value(
      "--parameters", [&o](const std::string& v) { o.parametersPath = v; }, "FILE",
      "parameters file (default: res/Combo_Box_Parameters.bin)", kPath);
  value(
      "--viewfinder",
      [&o](const std::string& v) {
        std::uint64_t parts[3] = {};
        parseViewfinder(v, parts);
        o.viewfinderX = static_cast<std::uint32_t>(parts[0]);
        o.viewfinderY = static_cast<std::uint32_t>(parts[1]);
        o.viewfinderRadius = static_cast<std::uint32_t>(parts[2]);
      },
      "X,Y,R",
      "viewfinder centre column, row and radius (1 to 250); it must lie inside archive picture 0 with a "
      "margin of one pixel",
      kViewfinder);
  value(
      "--filter-radius", [&o](const std::string& v) { o.filterRadius = toUint32(v); }, "N",
      "circular mean filter radius, 1 to 20", wholeNumber(1, kMaxFilterRadius));
  value(
      "--tolerance",
      [&o](const std::string& v) { o.colorTolerance = static_cast<std::uint8_t>(toUint32(v)); }, "N",
      "gray-level tolerance, 0 to 255 (the window offers 2 to 40)", wholeNumber(0, 255));
  value(
      "--first",
      [&o, &firstGiven](const std::string& v) {
        o.first = toUint32(v);
        firstGiven = true;
      },
      "N", "first archive number to scan (default 0)", wholeNumber(0, kMaxUint32));
  value(
      "--last",
      [&o, &lastGiven](const std::string& v) {
        o.last = toUint32(v);
        lastGiven = true;
      },
      "N", "last archive number to scan (default: until a number is missing)", wholeNumber(0, kMaxUint32));
  flag("--all", o.all, "go on after a match and report every picture that holds one");
  value(
      "--views", [&o](const std::string& v) { o.viewsFolder = v; }, "DIR",
      "after a match, write into DIR the marked archive picture, the gray query with its viewfinder and "
      "the three previews as PNG files (with --all, one folder DIR/NNNNNNNNNN per match)",
      kPath);
  flag("--human", o.human, "one readable line per picture instead of JSON");
  flag("--progress", o.progress, "progress on standard error even when it is not a terminal");
  flag("--reference", o.reference,
       "use the plain reference kernels (filter, sampling, candidate test, alignment, scan) instead of the "
       "fast ones; the results are the same, only slower, so the two can be compared");
  flag("--shard", o.shard,
       "for job arrays: the summary also names the range walked ({\"shard\": {\"first\", \"last\", "
       "\"all\"}}) and the exit status is 0 with no match too, so a scheduler counts the task as done");
  flag("--merge", o.merge,
       "join the output FILEs of --shard runs over neighbouring ranges into what one run over their whole "
       "range prints (totalMs is the sum of the shards'); with --all every match, else up to the first; any "
       "unfinished, damaged, overlapping or missing shard is an error naming it");
  flag("--version", o.version, "the version, then exit");
  flag("-h,--help", o.help, "this text");
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

// Usage first, then what the tool does, then the options, their texts
// wrapped to 80 columns.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_description(const CLI::App* app) const override {
    return "Usage: orvalis-search [options]\n\n" + app->get_description() + "\n";
  }
  std::string make_usage(const CLI::App*, std::string) const override { return ""; }
  std::string make_option_desc(const CLI::Option* option) const override {
    return wrap(option->get_description(), 80 - get_column_width());
  }
};

void describe(CLI::App& app) {
  app.name("orvalis-search");
  app.description(R"(Searches the numbered archive pictures for the viewfinder region of the query
picture, in any rotation, as the window does in still-image mode. Run in the
folder that holds res/ and Image_Archive/, or name the parts with the options.

By default it reads res/Combo_Box_Parameters.bin (or the default parameters),
checks the stored viewfinder against Image_Archive/Image_0000000000.jpg and
places it at the picture's centre when it does not fit, takes
Image_Archive/Current_Image.jpg as the query, and walks the archive from
picture 0 to the first match or the first missing number.)");
  app.footer(R"(Output: one JSON object per scanned picture on standard output, with the keys
index, file, width, height, matchFound, matchX, matchY, matchAngle (radians),
matchAngleDeg, filterMs, scanMs (the match keys are null without a match), then
one summary object {"summary": true, "scanned", "matches", "totalMs"}.

Exit status: 0 when a match was found, 1 when none was, 2 on an error (one line
on standard error says what is wrong).
)");
  auto formatter = std::make_shared<HelpFormatter>();
  formatter->column_width(23);
  app.formatter(formatter);
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
  bool firstGiven = false, lastGiven = false;
  try {
    CLI::App app;
    app.set_help_flag();  // --help is an option like the others: main prints the text
    app.allow_extras();   // named below, the first one, in a line of our own
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    defineOptions(app, parsed.options, firstGiven, lastGiven);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());  // CLI11 takes them last first
    app.parse(reversed);
    // Plain arguments are --merge's files; checkShardAndMerge refuses them
    // without it.
    for (const std::string& extra : app.remaining()) {
      if (extra.size() > 1 && extra[0] == '-') {
        parsed.error = "unknown option " + extra;
        return parsed;
      }
      parsed.options.mergeFiles.push_back(extra);
    }
  } catch (const CLI::Error& error) {
    // CLI11 names a flag given a value without its dashes; say it as the
    // other messages do.
    static const std::string kFlagValue = " was given a disallowed flag override";
    parsed.error = error.what();
    const std::size_t at = parsed.error.size() - std::min(parsed.error.size(), kFlagValue.size());
    if (parsed.error.compare(at, std::string::npos, kFlagValue) == 0) {
      parsed.error = "--" + parsed.error.substr(0, at) + " takes no value";
    }
    return parsed;
  }

  const SearchToolOptions& options = parsed.options;
  if (!checkShardAndMerge(options, firstGiven || lastGiven, parsed.error)) return parsed;
  if (firstGiven && lastGiven && options.first > options.last) {
    parsed.error =
        "--first " + std::to_string(options.first) + " is after --last " + std::to_string(options.last);
    return parsed;
  }
  parsed.ok = true;
  return parsed;
}

std::string searchToolUsage() {
  SearchToolOptions options;
  bool firstGiven = false, lastGiven = false;
  CLI::App app;
  app.set_help_flag();
  describe(app);
  defineOptions(app, options, firstGiven, lastGiven);
  return app.help();
}

const char* searchToolVersion() {
  return "orvalis-search " ORVALIS_VERSION;
}

}  // namespace orvalis
