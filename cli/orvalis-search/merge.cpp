#include "cli/orvalis-search/merge.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <system_error>

namespace orvalis {

namespace {

using nlohmann::json;

constexpr std::uint64_t kLargestNumber = std::numeric_limits<std::uint32_t>::max();

// What the first pass learns of one file.
struct Shard {
  std::string file;
  std::uint64_t first = 0, last = 0;  // the range it was given
  bool all = false;
  std::uint64_t pictures = 0;  // picture lines
  bool endsWalk = false;       // stopped at a match or at a missing number before its last
  double totalMs = 0;
};

bool isCount(const json& value, std::uint64_t maximum) {
  return value.is_number_unsigned() && value.get<std::uint64_t>() <= maximum;
}

// The tool's numbers are written in plain decimal, which parses as an
// unsigned integer when it has no point.
bool isNumber(const json& value) {
  return value.is_number();
}

bool hasExactly(const json& object, std::initializer_list<const char*> keys) {
  if (object.size() != keys.size()) return false;
  return std::all_of(keys.begin(), keys.end(), [&](const char* key) { return object.contains(key); });
}

// One picture line back into the walk's result; false when it isn't one the
// tool writes.
bool readPicture(const json& line, PictureResult& result) {
  if (!hasExactly(line, {"index", "file", "width", "height", "matchFound", "matchX", "matchY", "matchAngle",
                         "matchAngleDeg", "filterMs", "scanMs"})) {
    return false;
  }
  if (!isCount(line["index"], kLargestNumber) || !line["file"].is_string() ||
      !isCount(line["width"], kLargestNumber) || !isCount(line["height"], kLargestNumber) ||
      !line["matchFound"].is_boolean() || !isNumber(line["filterMs"]) || !isNumber(line["scanMs"])) {
    return false;
  }
  result = PictureResult{};
  result.index = line["index"].get<std::uint32_t>();
  result.file = line["file"].get<std::string>();
  result.width = line["width"].get<std::uint32_t>();
  result.height = line["height"].get<std::uint32_t>();
  result.matchFound = line["matchFound"].get<bool>();
  result.filterMs = line["filterMs"].get<double>();
  result.scanMs = line["scanMs"].get<double>();
  const json& x = line["matchX"];
  const json& y = line["matchY"];
  const json& angle = line["matchAngle"];
  const json& degrees = line["matchAngleDeg"];
  if (!result.matchFound) return x.is_null() && y.is_null() && angle.is_null() && degrees.is_null();
  if (!isCount(x, kLargestNumber) || !isCount(y, kLargestNumber) || !isNumber(angle) || !isNumber(degrees)) {
    return false;
  }
  result.matchX = x.get<std::uint32_t>();
  result.matchY = y.get<std::uint32_t>();
  result.matchAngle = angle.get<double>();
  result.matchAngleDeg = degrees.get<double>();
  return true;
}

bool isSummary(const json& line) {
  return line.is_object() && line.contains("summary");
}

// Opens a shard file; a FIFO or a folder would block or read as nothing.
bool openShard(const std::string& file, std::ifstream& in, std::string& error) {
  std::error_code failure;
  if (!std::filesystem::is_regular_file(file, failure)) {
    error = file + ": " + (std::filesystem::exists(file, failure) ? "not a regular file" : "not found");
    return false;
  }
  in.open(file, std::ios::binary);
  if (!in) {
    error = file + ": cannot be read";
    return false;
  }
  return true;
}

// First pass over one file: every line must be the tool's, the pictures must
// follow one another from the range's first number, and the shard's summary
// must close it and agree with the lines above it.
bool checkShard(Shard& shard, std::string& error) {
  std::ifstream in;
  if (!openShard(shard.file, in, error)) return false;
  const auto fail = [&](std::uint64_t lineNumber, const std::string& what) {
    error = shard.file + ":" + std::to_string(lineNumber) + ": " + what;
    return false;
  };

  std::uint64_t lineNumber = 0, firstIndex = 0, matches = 0;
  bool summarySeen = false, lastMatched = false;
  for (std::string text; std::getline(in, text);) {
    ++lineNumber;
    if (summarySeen) return fail(lineNumber, "a line after the summary");
    const json line = json::parse(text, nullptr, false);
    if (line.is_discarded() || !line.is_object()) return fail(lineNumber, "not a JSON object");
    if (!isSummary(line)) {
      PictureResult picture;
      if (!readPicture(line, picture)) return fail(lineNumber, "not a picture line of orvalis-search");
      if (shard.pictures == 0) firstIndex = picture.index;
      if (picture.index != firstIndex + shard.pictures) {
        return fail(lineNumber, "picture " + std::to_string(picture.index) + " where " +
                                    std::to_string(firstIndex + shard.pictures) +
                                    " was due (repeated or out of order)");
      }
      ++shard.pictures;
      if (picture.matchFound) ++matches;
      lastMatched = picture.matchFound;
      continue;
    }

    if (!hasExactly(line, {"summary", "scanned", "matches", "totalMs", "shard"}) || line["summary"] != true ||
        !isCount(line["scanned"], std::numeric_limits<std::uint64_t>::max()) ||
        !isCount(line["matches"], std::numeric_limits<std::uint64_t>::max()) || !isNumber(line["totalMs"])) {
      return fail(lineNumber, "not the summary of a shard (run the shards with --shard)");
    }
    const json& range = line["shard"];
    if (!range.is_object() || !hasExactly(range, {"first", "last", "all"}) ||
        !isCount(range["first"], kLargestNumber) || !isCount(range["last"], kLargestNumber) ||
        !range["all"].is_boolean() ||
        range["first"].get<std::uint64_t>() > range["last"].get<std::uint64_t>()) {
      return fail(lineNumber, "the summary's shard is not {first, last, all} with first <= last");
    }
    summarySeen = true;
    shard.first = range["first"].get<std::uint64_t>();
    shard.last = range["last"].get<std::uint64_t>();
    shard.all = range["all"].get<bool>();
    shard.totalMs = line["totalMs"].get<double>();
    if (line["scanned"].get<std::uint64_t>() != shard.pictures ||
        line["matches"].get<std::uint64_t>() != matches) {
      return fail(lineNumber, "the summary counts " + line["scanned"].dump() + " pictures and " +
                                  line["matches"].dump() + " matches, the lines above " +
                                  std::to_string(shard.pictures) + " and " + std::to_string(matches));
    }
    if (shard.pictures > 0 && (firstIndex != shard.first || firstIndex + shard.pictures - 1 > shard.last)) {
      return fail(lineNumber, "the pictures " + std::to_string(firstIndex) + " to " +
                                  std::to_string(firstIndex + shard.pictures - 1) +
                                  " lie outside the shard " + std::to_string(shard.first) + " to " +
                                  std::to_string(shard.last));
    }
    if (!shard.all && matches > (lastMatched ? 1u : 0u)) {
      return fail(lineNumber, "a walk without --all went on after a match");
    }
  }
  if (in.bad()) {
    error = shard.file + ": read error";
    return false;
  }
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
    std::ifstream in;
    if (!openShard(shard.file, in, error)) return 0;
    summary.totalMs += shard.totalMs;
    for (std::string text; std::getline(in, text);) {
      const json line = json::parse(text, nullptr, false);
      PictureResult picture;
      if (isSummary(line)) break;
      if (!readPicture(line, picture)) {
        error = shard.file + ": changed while it was merged";
        return 0;
      }
      ++summary.scanned;
      if (picture.matchFound) ++summary.matches;
      onPicture(picture);
      if (picture.matchFound && !all) return 1;
    }
    if (shard.endsWalk) break;
  }
  return 1;
}

}  // namespace orvalis
