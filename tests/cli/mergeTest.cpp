// orvalis-search --merge on hand-made shard outputs: what it prints for
// shards that tile a range, and which file it names when they don't.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;

std::string picture(unsigned index, bool match) {
  return "{\"index\": " + std::to_string(index) + ", \"file\": \"Image_Archive/" + std::to_string(index) +
         "\", \"width\": 8, \"height\": 6, \"matchFound\": " + (match ? "true" : "false") + ", \"matchX\": " +
         (match ? "3, \"matchY\": 4, \"matchAngle\": 0.5, \"matchAngleDeg\": 28.6"
                : "null, \"matchY\": null, \"matchAngle\": null, \"matchAngleDeg\": null") +
         ", \"filterMs\": 1.000, \"scanMs\": 2.000}\n";
}

// A shard's file: pictures first..first+count-1, matches at the numbers in
// matched, then the summary of a --shard run over first..last.
std::string shard(unsigned first, unsigned last, unsigned count, std::vector<unsigned> matched, bool all) {
  std::string text;
  for (unsigned index = first; index < first + count; ++index) {
    text += picture(index, std::find(matched.begin(), matched.end(), index) != matched.end());
  }
  return text + "{\"summary\":true,\"scanned\":" + std::to_string(count) +
         ",\"matches\":" + std::to_string(matched.size()) +
         ",\"totalMs\":10.5,\"shard\":{\"first\":" + std::to_string(first) +
         ",\"last\":" + std::to_string(last) + ",\"all\":" + (all ? "true" : "false") + "}}\n";
}

struct Merged {
  int exitCode = -1;
  std::string output;
  std::string errors;
};

Merged merge(const testing::TempDir& folder, const std::vector<std::string>& files,
             const std::string& flags) {
  std::string command =
      "cd '" + folder.path().string() + "' && '" ORVALIS_BUILD_DIR "/orvalis-search' --merge " + flags;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string name = "s" + std::to_string(i);
    testing::writeTextFile(folder / name, files[i]);
    command += " " + name;
  }
  command += " 2>errors.txt";
  Merged merged;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return merged;
  char buffer[4096];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
    merged.output.append(buffer, got);
  const int status = ::pclose(pipe);
  merged.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto bytes = testing::readFile(folder / "errors.txt");
  merged.errors.assign(bytes.begin(), bytes.end());
  return merged;
}

// The indexes printed, then the summary's counts: "0 1 2 | 3 1 31.500".
// Every line must be JSON.
std::string digest(const std::string& output) {
  std::string text, summary;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (object.is_discarded()) return "not JSON: " + line;
    if (object.contains("summary")) {
      char counts[80];
      std::snprintf(counts, sizeof counts, "| %llu %llu %.3f", object["scanned"].get<unsigned long long>(),
                    object["matches"].get<unsigned long long>(), object["totalMs"].get<double>());
      summary = counts;
    } else {
      text += std::to_string(object["index"].get<unsigned>()) + " ";
    }
  }
  return text + summary;
}

TEST(Merge, JoinsTilingShardsAsOneWalk) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    const char* flags;
    int exitCode;
    const char* digest;
  };
  const Case cases[] = {
      // Out of order on the command line; the walk ends at the first match.
      {"first match",
       {shard(6, 8, 1, {6}, false), shard(0, 2, 3, {}, false), shard(3, 5, 2, {4}, false)},
       "",
       0,
       "0 1 2 3 4 | 5 1 21.000"},
      // Every match, up to the missing number 5.
      {"every match",
       {shard(0, 2, 3, {1}, true), shard(3, 5, 2, {4}, true), shard(6, 8, 1, {6}, true)},
       "--all",
       0,
       "0 1 2 3 4 | 5 2 21.000"},
      {"first of --all shards", {shard(0, 2, 3, {1, 2}, true)}, "", 0, "0 1 | 2 1 10.500"},
      {"no match", {shard(0, 1, 2, {}, false), shard(2, 3, 2, {}, false)}, "", 1, "0 1 2 3 | 4 0 21.000"},
  };
  for (const Case& c : cases) {
    testing::TempDir folder;
    const Merged merged = merge(folder, c.files, c.flags);
    EXPECT_EQ(merged.exitCode, c.exitCode) << c.name << ": " << merged.errors;
    EXPECT_EQ(digest(merged.output), c.digest) << c.name;
    // The lines are rebuilt whole, not only their numbers.
    const nlohmann::json first =
        nlohmann::json::parse(merged.output.substr(0, merged.output.find('\n')), nullptr, false);
    EXPECT_EQ(first.value("file", ""), "Image_Archive/0") << c.name;
  }
}

TEST(Merge, RefusesWhatIsNotAFinishedTilingAndNamesTheFile) {
  const std::string good = shard(0, 2, 3, {}, false);
  const std::string plainSummary =
      picture(0, false) + "{\"summary\": true, \"scanned\": 1, \"matches\": 0, \"totalMs\": 1.0}\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{good, good.substr(0, good.rfind("{\"summary"))}, "s1: no summary line"},
      {{good, good.substr(0, good.size() - 20)}, "s1:4: not a JSON object"},
      {{good, "\n" + shard(3, 4, 2, {}, false)}, "s1:1: not a JSON object"},
      {{picture(0, false) + shard(0, 2, 3, {}, false)}, "s0:2: picture 0 where 1 was due"},
      {{good, shard(2, 4, 3, {}, false)}, "s1: numbers 2 to 2 are in s0 too"},
      {{good, shard(4, 5, 2, {}, false)}, "no file holds numbers 3 to 3"},
      {{shard(0, 2, 3, {}, true), good}, "s1: walked without --all"},
      {{plainSummary}, "s0:2: not the summary of a shard"},
      {{shard(0, 2, 3, {0}, false)}, "s0:4: a walk without --all went on after a match"},
  };
  for (const auto& [files, message] : cases) {
    testing::TempDir folder;
    const Merged merged =
        merge(folder, files, message.find("without --all") != std::string::npos ? "--all" : "");
    EXPECT_EQ(merged.exitCode, 2) << message;
    EXPECT_NE(merged.errors.find(message), std::string::npos) << merged.errors;
    EXPECT_EQ(merged.output, "") << message;
  }
}

}  // namespace
}  // namespace orvalis
