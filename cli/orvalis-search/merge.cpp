#include "cli/orvalis-search/merge.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "cli/orvalis-search/report.h"
#include "platform/safeFile.h"
#include "state/constants.h"

namespace orvalis {

namespace {

using nlohmann::json;

constexpr std::uint64_t kLargestNumber = std::numeric_limits<std::uint32_t>::max();

// The longest time the tool can measure: the steady clock's longest duration.
constexpr double kLongestTimeMs =
    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::duration::max()).count();

// The longest line the tool writes is a picture line whose file is the
// longest path the system opens (PATH_MAX - 1 bytes), each byte written as
// six characters (a control character as \u001f), with every number as long
// as its text can be. Anything longer is not the tool's and is refused
// without being read whole; the room to spare is for a line this reckoning
// would miss, not for any line the tool writes.
std::size_t longestLine() {
  PictureResult widest;
  widest.file.assign(PATH_MAX - 1, '\x1f');
  widest.index = widest.width = widest.height = widest.matchX = widest.matchY = kLargestNumber;
  widest.matchFound = true;
  widest.matchAngle = widest.matchAngleDeg = -2.2250738585072014e-308;  // the longest text of a double
  widest.filterMs = widest.scanMs = kLongestTimeMs;
  // Every copy listed, each as long as it can be.
  widest.profiled = true;
  widest.matchesWanted = widest.matchCount = kMaxMatches;
  for (FoundMatch& copy : widest.matches) {
    copy = {widest.matchX,     widest.matchY,    0, widest.matchAngle, widest.matchAngle,
            widest.matchAngle, widest.matchAngle};
  }
  return pictureJson(widest).size() + 4096;
}

// What the first pass learns of one file.
struct Shard {
  std::string file;
  std::uint64_t first = 0, last = 0;  // the range it was given
  bool all = false;
  std::uint64_t pictures = 0;  // picture lines
  bool endsWalk = false;       // stopped at a match or at a missing number before its last
  double totalMs = 0;
};

// A shard file's lines, read through a buffer of fixed size: a line longer
// than any the tool writes is refused once that much of it is read.
class ShardLines {
 public:
  enum class Next { Line, End, TooLong, Unfinished, ReadError };

  // cppcheck-suppress uninitMemberVar ; read() fills buffer_ before any byte of it is looked at
  ShardLines() = default;
  ShardLines(const ShardLines&) = delete;
  ShardLines& operator=(const ShardLines&) = delete;
  ~ShardLines() {
    if (fd_ >= 0) ::close(fd_);
  }

  // A FIFO, a folder or a device is refused without blocking.
  bool open(const std::string& file, std::string& error) {
    FileStatus status = FileStatus::Ok;
    fd_ = openRegularFileForReading(file.c_str(), status);
    if (fd_ < 0) error = file + ": " + fileStatusText(status, errno);
    return fd_ >= 0;
  }

  // The next line, without its newline. The tool ends every line with one,
  // so a last line without it was cut off.
  Next next(std::string& line, std::size_t longest) {
    line.clear();
    for (;;) {
      const char* newline = static_cast<const char*>(std::memchr(buffer_ + begin_, '\n', end_ - begin_));
      const std::size_t stop = newline != nullptr ? static_cast<std::size_t>(newline - buffer_) : end_;
      line.append(buffer_ + begin_, stop - begin_);
      begin_ = newline != nullptr ? stop + 1 : end_;
      if (line.size() > longest) return Next::TooLong;
      if (newline != nullptr) return Next::Line;
      const ssize_t got = ::read(fd_, buffer_, sizeof buffer_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Next::ReadError;
      if (got == 0) return line.empty() ? Next::End : Next::Unfinished;
      begin_ = 0;
      end_ = static_cast<std::size_t>(got);
    }
  }

 private:
  int fd_ = -1;
  char buffer_[65536];
  std::size_t begin_ = 0, end_ = 0;
};

bool isCount(const json& value, std::uint64_t maximum) {
  return value.is_number_unsigned() && value.get<std::uint64_t>() <= maximum;
}

// A time as the tool measures it: never negative, never beyond the clock.
bool isTime(const json& value) {
  if (!value.is_number_float()) return false;
  const double time = value.get<double>();
  return !std::signbit(time) && time <= kLongestTimeMs;
}

bool hasExactly(const json& object, std::initializer_list<const char*> keys) {
  if (object.size() != keys.size()) return false;
  return std::all_of(keys.begin(), keys.end(), [&](const char* key) { return object.contains(key); });
}

// One line as JSON; a key given twice in an object (a parser would keep one
// of them silently, the tool writes each once) is named in repeated.
json parseLine(const std::string& text, std::string& repeated) {
  std::vector<std::vector<std::string>> keys;  // of each object open
  return json::parse(
      text,
      [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) keys.emplace_back();
        if (event == json::parse_event_t::object_end && !keys.empty()) keys.pop_back();
        if (event == json::parse_event_t::key && !keys.empty()) {
          const std::string& key = parsed.get_ref<const std::string&>();
          if (std::find(keys.back().begin(), keys.back().end(), key) != keys.back().end()) repeated = key;
          keys.back().push_back(key);
        }
        return true;
      },
      false);
}

// One picture line back into the walk's result. Empty when it is one the
// tool could have written, else what is wrong with it.
// A match's scale and score as the tool writes them: finite, not negative.
bool isMeasure(const json& value) {
  return value.is_number() && std::isfinite(value.get<double>()) && !std::signbit(value.get<double>());
}

// The copies of a line written with a search profile: scale and score, and
// with --matches above 1 the list of every copy. Empty when they are the
// tool's, else what is wrong.
std::string readCopies(const json& line, bool listed, PictureResult& result) {
  result.profiled = true;
  result.matchesWanted = listed ? kMaxMatches : 1;
  const json& scale = line["scale"];
  const json& score = line["score"];
  if (!result.matchFound) {
    if (!scale.is_null() || !score.is_null()) return "a picture without a match has a scale or score";
  } else if (!isMeasure(scale) || !isMeasure(score)) {
    return "scale and score are not numbers from 0 up";
  }
  if (!listed) {
    result.matchCount = result.matchFound ? 1 : 0;
    if (result.matchFound) {
      result.matches[0] = {result.matchX,      result.matchY,        0,
                           result.matchAngle,  result.matchAngleDeg, scale.get<double>(),
                           score.get<double>()};
    }
    return "";
  }
  const json& copies = line["matches"];
  if (!copies.is_array() || copies.size() > kMaxMatches || copies.empty() == result.matchFound) {
    return "matches is not the list of the picture's copies";
  }
  for (const json& copy : copies) {
    if (!copy.is_object() ||
        !hasExactly(copy, {"matchX", "matchY", "matchAngle", "matchAngleDeg", "scale", "score"}) ||
        !isCount(copy["matchX"], result.width - 1) || !isCount(copy["matchY"], result.height - 1) ||
        !copy["matchAngle"].is_number() || !copy["matchAngleDeg"].is_number() || !isMeasure(copy["scale"]) ||
        !isMeasure(copy["score"])) {
      return "a copy in matches is not one the tool writes";
    }
    result.matches[result.matchCount++] = {
        copy["matchX"].get<std::uint32_t>(), copy["matchY"].get<std::uint32_t>(), 0,
        copy["matchAngle"].get<double>(),    copy["matchAngleDeg"].get<double>(), copy["scale"].get<double>(),
        copy["score"].get<double>()};
  }
  const FoundMatch& first = result.matches[0];
  if (result.matchFound && (first.x != result.matchX || first.y != result.matchY ||
                            first.angleDeg != result.matchAngleDeg || first.angle != result.matchAngle)) {
    return "the first of matches is not the match";
  }
  return "";
}

std::string readPicture(const std::string& text, const json& line, PictureResult& result) {
  const bool plain = hasExactly(line, {"index", "file", "width", "height", "matchFound", "matchX", "matchY",
                                       "matchAngle", "matchAngleDeg", "filterMs", "scanMs"});
  const bool scored =
      hasExactly(line, {"index", "file", "width", "height", "matchFound", "matchX", "matchY", "matchAngle",
                        "matchAngleDeg", "scale", "score", "filterMs", "scanMs"});
  const bool listed =
      hasExactly(line, {"index", "file", "width", "height", "matchFound", "matchX", "matchY", "matchAngle",
                        "matchAngleDeg", "scale", "score", "matches", "filterMs", "scanMs"});
  if (!plain && !scored && !listed) return "not the keys of a picture line";
  if (!isCount(line["index"], kLargestNumber)) return "index is not an archive number";
  result = PictureResult{};
  result.index = line["index"].get<std::uint32_t>();
  // The walk names each picture <archive folder>/Image_<its number>.jpg.
  const std::string name = archivePicturePath("", result.index);
  const json& file = line["file"];
  if (!file.is_string() || file.get_ref<const std::string&>().size() <= name.size() ||
      file.get_ref<const std::string&>().compare(file.get_ref<const std::string&>().size() - name.size(),
                                                 name.size(), name) != 0) {
    return "file is not the path of archive picture " + std::to_string(result.index);
  }
  result.file = file.get<std::string>();
  if (!isCount(line["width"], kMaxImageWidth * kMaxImageHeight) ||
      !isCount(line["height"], kMaxImageWidth * kMaxImageHeight) ||
      !fitsImageCapacity(line["width"].get<std::uint64_t>(), line["height"].get<std::uint64_t>())) {
    return "width and height are not the size of a picture the tool reads";
  }
  result.width = line["width"].get<std::uint32_t>();
  result.height = line["height"].get<std::uint32_t>();
  if (!isTime(line["filterMs"]) || !isTime(line["scanMs"])) {
    return "filterMs and scanMs are not times the tool measures (0 to " + json(kLongestTimeMs).dump() +
           " ms)";
  }
  result.filterMs = line["filterMs"].get<double>();
  result.scanMs = line["scanMs"].get<double>();
  if (!line["matchFound"].is_boolean()) return "matchFound is not true or false";
  result.matchFound = line["matchFound"].get<bool>();
  const json& x = line["matchX"];
  const json& y = line["matchY"];
  const json& angle = line["matchAngle"];
  const json& degrees = line["matchAngleDeg"];
  if (!result.matchFound) {
    if (!x.is_null() || !y.is_null() || !angle.is_null() || !degrees.is_null()) {
      return "a picture without a match has match keys that are not null";
    }
  } else {
    if (!isCount(x, result.width - 1) || !isCount(y, result.height - 1)) {
      return "matchX and matchY do not lie in the picture";
    }
    result.matchX = x.get<std::uint32_t>();
    result.matchY = y.get<std::uint32_t>();
    // The consensus angle is a whole number of ring steps short of a full
    // turn; the radians are computed from it.
    if (!degrees.is_number_float() || std::signbit(degrees.get<double>()) || !(degrees.get<double>() < 360)) {
      return "matchAngleDeg is not an angle from 0 to 360 degrees";
    }
    result.matchAngleDeg = degrees.get<double>();
    if (!angle.is_number_float() || angle.get<double>() != result.matchAngleDeg * kPi / 180.0) {
      return "matchAngle is not matchAngleDeg in radians";
    }
    result.matchAngle = angle.get<double>();
  }
  if (!plain) {
    const std::string wrong = readCopies(line, listed, result);
    if (!wrong.empty()) return wrong;
  }
  // Every value fits; the text must be the tool's too: its key order, no
  // spaces, times in whole microseconds, numbers in their shortest form.
  if (pictureJson(result) != text) return "not written as orvalis-search writes it";
  return "";
}

bool isSummary(const json& line) {
  return line.is_object() && line.contains("summary");
}

// Reads the file's lines into onLine(number, text, parsed) until it returns
// false or the lines end. A line that is not one JSON object, repeats a key,
// is longer than any the tool writes or was cut off ends it with a message
// naming the file and the line.
bool readLines(const std::string& file,
               const std::function<bool(std::uint64_t, const std::string&, const json&)>& onLine,
               std::string& error) {
  static const std::size_t longest = longestLine();
  ShardLines lines;
  if (!lines.open(file, error)) return false;
  std::string text;
  for (std::uint64_t number = 1;; ++number) {
    const std::string where = file + ":" + std::to_string(number) + ": ";
    switch (lines.next(text, longest)) {
      case ShardLines::Next::End: return true;
      case ShardLines::Next::TooLong:
        error =
            where + "more than " + std::to_string(longest) + " bytes, longer than any line of orvalis-search";
        return false;
      case ShardLines::Next::Unfinished:
        error = where + "cut off: the file does not end with a newline";
        return false;
      case ShardLines::Next::ReadError:
        error = file + ": " + fileStatusText(FileStatus::ReadError, errno);
        return false;
      case ShardLines::Next::Line: break;
    }
    std::string repeated;
    const json line = parseLine(text, repeated);
    if (line.is_discarded() || !line.is_object()) {
      error = where + "not a JSON object";
      return false;
    }
    if (!repeated.empty()) {
      error = where + "the key '" + repeated + "' is given twice";
      return false;
    }
    if (!onLine(number, text, line)) return false;
  }
}

// First pass over one file: every line must be the tool's, the pictures must
// follow one another from the range's first number, and the shard's summary
// must close it and agree with the lines above it.
bool checkShard(Shard& shard, std::string& error) {
  std::uint64_t firstIndex = 0, matches = 0;
  bool summarySeen = false, lastMatched = false;
  const auto onLine = [&](std::uint64_t lineNumber, const std::string& text, const json& line) {
    const auto fail = [&](const std::string& what) {
      error = shard.file + ":" + std::to_string(lineNumber) + ": " + what;
      return false;
    };
    if (summarySeen) return fail("a line after the summary");
    if (!isSummary(line)) {
      PictureResult picture;
      const std::string wrong = readPicture(text, line, picture);
      if (!wrong.empty()) return fail("not a picture line of orvalis-search: " + wrong);
      if (shard.pictures == 0) firstIndex = picture.index;
      if (picture.index != firstIndex + shard.pictures) {
        return fail("picture " + std::to_string(picture.index) + " where " +
                    std::to_string(firstIndex + shard.pictures) + " was due (repeated or out of order)");
      }
      ++shard.pictures;
      if (picture.matchFound) ++matches;
      lastMatched = picture.matchFound;
      return true;
    }

    if (!hasExactly(line, {"summary", "scanned", "matches", "totalMs", "shard"}) || line["summary"] != true ||
        !isCount(line["scanned"], std::numeric_limits<std::uint64_t>::max()) ||
        !isCount(line["matches"], std::numeric_limits<std::uint64_t>::max()) || !isTime(line["totalMs"])) {
      return fail("not the summary of a shard (run the shards with --shard)");
    }
    const json& range = line["shard"];
    if (!range.is_object() || !hasExactly(range, {"first", "last", "all"}) ||
        !isCount(range["first"], kLargestNumber) || !isCount(range["last"], kLargestNumber) ||
        !range["all"].is_boolean() ||
        range["first"].get<std::uint64_t>() > range["last"].get<std::uint64_t>()) {
      return fail("the summary's shard is not {first, last, all} with first <= last");
    }
    summarySeen = true;
    shard.first = range["first"].get<std::uint64_t>();
    shard.last = range["last"].get<std::uint64_t>();
    shard.all = range["all"].get<bool>();
    shard.totalMs = line["totalMs"].get<double>();
    const WalkSummary counted{line["scanned"].get<std::uint64_t>(), line["matches"].get<std::uint64_t>(),
                              shard.totalMs};
    const ArchiveRange given{"", static_cast<std::uint32_t>(shard.first),
                             static_cast<std::uint32_t>(shard.last), shard.all};
    if (shardSummaryJson(counted, given) != text) {
      return fail("not the summary of a shard as orvalis-search writes it");
    }
    if (counted.scanned != shard.pictures || counted.matches != matches) {
      return fail("the summary counts " + line["scanned"].dump() + " pictures and " + line["matches"].dump() +
                  " matches, the lines above " + std::to_string(shard.pictures) + " and " +
                  std::to_string(matches));
    }
    if (shard.pictures > 0 && (firstIndex != shard.first || firstIndex + shard.pictures - 1 > shard.last)) {
      return fail("the pictures " + std::to_string(firstIndex) + " to " +
                  std::to_string(firstIndex + shard.pictures - 1) + " lie outside the shard " +
                  std::to_string(shard.first) + " to " + std::to_string(shard.last));
    }
    if (!shard.all && matches > (lastMatched ? 1u : 0u)) {
      return fail("a walk without --all went on after a match");
    }
    return true;
  };
  if (!readLines(shard.file, onLine, error)) return false;
  if (!summarySeen) {
    error = shard.file + ": no summary line: the shard did not finish";
    return false;
  }
  // A walk stops early at a match (without --all) or at a missing number;
  // either way the archive's walk ends in this shard.
  shard.endsWalk = (!shard.all && lastMatched) || shard.first + shard.pictures <= shard.last;
  return true;
}

}  // namespace

std::string shardSummaryJson(const WalkSummary& summary, const ArchiveRange& range) {
  nlohmann::ordered_json line;
  line["summary"] = true;
  line["scanned"] = summary.scanned;
  line["matches"] = summary.matches;
  line["totalMs"] = summary.totalMs;
  line["shard"] = {{"first", range.first}, {"last", range.last}, {"all", range.all}};
  return line.dump();
}

int mergeShards(const std::vector<std::string>& files, bool all,
                const std::function<void(const PictureResult&)>& onPicture, WalkSummary& summary,
                std::string& error) {
  summary = WalkSummary{};
  error.clear();
  if (files.empty()) {
    error = "--merge needs at least one shard file";
    return 0;
  }
  std::vector<Shard> shards(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    shards[i].file = files[i];
    if (!checkShard(shards[i], error)) return 0;
    if (all && !shards[i].all) {
      error = files[i] + ": walked without --all, so it can't give every match";
      return 0;
    }
  }

  // The shards must tile one range: no number twice, none left out.
  std::stable_sort(shards.begin(), shards.end(),
                   [](const Shard& a, const Shard& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < shards.size(); ++i) {
    const Shard& before = shards[i - 1];
    const Shard& after = shards[i];
    if (after.first <= before.last) {
      error = after.file + ": numbers " + std::to_string(after.first) + " to " +
              std::to_string(std::min(before.last, after.last)) + " are in " + before.file + " too";
      return 0;
    }
    if (after.first != before.last + 1) {
      error = "no file holds numbers " + std::to_string(before.last + 1) + " to " +
              std::to_string(after.first - 1) + " (between " + before.file + " and " + after.file + ")";
      return 0;
    }
  }

  // Second pass: the lines, in order, to where one walk would have stopped.
  for (const Shard& shard : shards) {
    summary.totalMs += shard.totalMs;
    bool stop = false;
    std::uint64_t index = shard.first;
    const auto onLine = [&](std::uint64_t, const std::string& text, const json& line) {
      if (isSummary(line)) return false;
      PictureResult picture;
      if (!readPicture(text, line, picture).empty() || picture.index != index++) {
        error = shard.file + ": changed while it was merged";
        return false;
      }
      ++summary.scanned;
      if (picture.matchFound) ++summary.matches;
      onPicture(picture);
      stop = picture.matchFound && !all;
      return !stop;
    };
    if (!readLines(shard.file, onLine, error) && !error.empty()) return 0;
    if (stop || shard.endsWalk) break;
  }
  return 1;
}

}  // namespace orvalis
