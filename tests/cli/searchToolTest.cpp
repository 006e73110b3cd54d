// The real orvalis-search on generated archives, bad input and shard outputs.

#include <gtest/gtest.h>
#include <orvalisVersion.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "control/archivePictures.h"
#include "tests/support/childProcess.h"
#include "tests/support/pngReading.h"
#include "tests/support/workingFolder.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct ToolRun {
  int exitCode = -1;
  std::vector<std::string> lines;  // standard output
  std::string errors;              // standard error
};

// Through the shell in folder, with a deadline: a blocked open gives exit code -1.
ToolRun runTool(const fs::path& folder, const std::string& arguments,
                std::chrono::seconds deadline = std::chrono::seconds(30)) {
  const std::string command =
      ">stdout.txt 2>stderr.txt exec '" ORVALIS_BUILD_DIR "/orvalis-search' " + arguments;
  const int code = testing::runInChild(
      folder,
      [&] {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
        ::_exit(99);
      },
      deadline);
  ToolRun run{code, {}, testing::readTextFile(folder / "stderr.txt")};
  std::istringstream stream(testing::readTextFile(folder / "stdout.txt"));
  for (std::string line; std::getline(stream, line);) run.lines.push_back(line);
  return run;
}

// A key's value in a JSON line, null when missing; throws on a line not JSON.
json field(const std::string& line, const std::string& key) {
  return json::parse(line).value(key, json());
}

double number(const std::string& line, const std::string& key) {
  return field(line, key).get<double>();
}

// The indexes, a * after each match, the summary's counts ("0 1* | 2 1"), totalMs.
std::string digest(const std::vector<std::string>& lines, bool totals = false) {
  std::string text;
  for (const std::string& line : lines) {
    const json object = json::parse(line, nullptr, false);
    if (object.is_discarded()) return "not JSON: " + line;
    if (object.contains("summary")) {
      text += "| " + object["scanned"].dump() + " " + object["matches"].dump();
      if (totals) text += " " + std::to_string(object["totalMs"].get<double>());
    } else {
      text += object["index"].dump() + (object["matchFound"] == true ? "* " : " ");
    }
  }
  return text;
}

// The viewfinder (100, 75, radius 40) turned a quarter lies at column 120, row 70.
class SearchTool : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kWidth = 200, kHeight = 150;

  static void expectTheTurnedRegion(const std::string& line) {
    EXPECT_NEAR(number(line, "matchX"), 120, 2) << line;
    EXPECT_NEAR(number(line, "matchY"), 70, 2) << line;
    EXPECT_NEAR(number(line, "matchAngleDeg"), 90.0, 360.0 / 800) << line;  // a step of the outer ring
    EXPECT_NEAR(number(line, "matchAngle"), number(line, "matchAngleDeg") * 3.1415926535 / 180, 1e-12)
        << line;
  }

  testing::TempDir folder;
  testing::WorkingFolder built = testing::WorkingFolder(folder.path()).centredQuery(kWidth, kHeight);
};

TEST_F(SearchTool, WalksTheRangeToTheFirstMatchOrOnWithAll) {
  built.plantedArchive(4, {1, 3});
  const std::tuple<const char*, int, std::string> cases[] = {
      {"", 0, "0 1* | 2 1"},
      {"--all", 0, "0 1* 2 3* | 4 2"},
      {"--first 2 --last 2", 1, "2 | 1 0"},
      {"--first 3", 0, "3* | 1 1"},
      {"--shard --first 2 --last 2", 0, "2 | 1 0"},  // a finished shard, match or not
      {"--all --reference", 0, "0 1* 2 3* | 4 2"},
      {"--first 0 --last 0 --filter-radius 1 --tolerance 0", 1, "0 | 1 0"},  // each range's lowest
      {"--help", 0, "not JSON: Usage: orvalis-search [options] [FOLDER]"},
      {"-h", 0, "not JSON: Usage: orvalis-search [options] [FOLDER]"},
      // The widest options find nothing in the demo pictures without the region.
      {"--all --scales 0.5:2 --light --matches 4 " ORVALIS_SOURCE_DIR "/demo", 0, "0 1 2 3 4* | 5 1"},
      // With a region of another photograph, only that photograph itself.
      {"--all --scales 0.5:2 --light --matches 4 --viewfinder 300,200,60 --query " ORVALIS_SOURCE_DIR
       "/demo/Image_Archive/Image_0000000001.jpg " ORVALIS_SOURCE_DIR "/demo",
       0, "0 1* 2 3 4 | 5 1"},
      {"--all --scales 0.5:2 --light --matches 4 --viewfinder 300,200,60 --query " ORVALIS_SOURCE_DIR
       "/demo/Image_Archive/Image_0000000002.jpg " ORVALIS_SOURCE_DIR "/demo",
       0, "0 1 2* 3 4 | 5 1"},
  };
  for (const auto& [arguments, exitCode, expected] : cases) {
    // The widest options take a while on photographs, the more under the sanitizers.
    const bool widest = std::string(arguments).find("--light") != std::string::npos;
    const ToolRun run = runTool(folder.path(), arguments, std::chrono::seconds(widest ? 300 : 30));
    EXPECT_EQ(run.exitCode, exitCode) << arguments << ": " << run.errors;
    EXPECT_EQ(digest(run.lines), expected) << arguments;
    for (const std::string& line : run.lines) {
      if (line[0] == '{' && field(line, "matchFound") == true && field(line, "width") == kWidth) {
        expectTheTurnedRegion(line);
      }
    }
  }
  EXPECT_EQ(runTool(folder.path(), "--version").lines,
            (std::vector<std::string>{"orvalis-search " ORVALIS_VERSION,
                                      "Licence: MIT. Copyright (c) 2026 the Orvalis developers."}));
  const ToolRun run = runTool(folder.path(), "");
  ASSERT_EQ(run.lines.size(), 3u);
  // Times to the microsecond: of five, not every one a whole hundredth.
  int finer = 0;
  for (const auto& [line, key] :
       {std::pair{0, "filterMs"}, {0, "scanMs"}, {1, "filterMs"}, {1, "scanMs"}, {2, "totalMs"}}) {
    const double ms = number(run.lines[line], key);
    finer += std::fabs(ms * 100 - std::round(ms * 100)) > 1e-6;
    EXPECT_DOUBLE_EQ(ms * 1000, std::round(ms * 1000)) << key;
  }
  EXPECT_GT(finer, 0) << "times rounded coarser than the microsecond";
  char turned[48];  // the human line gives the angle to the hundredth of a degree
  std::snprintf(turned, sizeof turned, "turned %.2f degrees", number(run.lines[1], "matchAngleDeg"));
  const ToolRun human = runTool(folder.path(), "--human --first 1");
  ASSERT_EQ(human.lines.size(), 2u) << human.errors;
  EXPECT_NE(human.lines[0].find(turned), std::string::npos) << human.lines[0] << " lacks " << turned;
  json first = json::parse(run.lines[0]);
  first.erase("filterMs");
  first.erase("scanMs");
  EXPECT_EQ(first, json::parse(R"({"index": 0, "file": "Image_Archive/Image_0000000000.jpg", "width": 200,
      "height": 150, "matchFound": false, "matchX": null, "matchY": null, "matchAngle": null,
      "matchAngleDeg": null})"));
}

TEST_F(SearchTool, ShardsRunApartMergeIntoWhatOneRunPrintsWithTheirCopiesAsWritten) {
  built.plantedArchive(4, {1, 3});
  for (const std::string flags : {"", "--all"}) {
    ASSERT_EQ(runTool(folder.path(), "--shard --last 1 >s0 " + flags).exitCode, 0);
    ASSERT_EQ(runTool(folder.path(), "--shard --first 2 >s1 " + flags).exitCode, 0);
    EXPECT_EQ(digest(runTool(folder.path(), "--merge s1 s0 " + flags).lines),
              digest(runTool(folder.path(), flags).lines))
        << flags;
  }
  ASSERT_EQ(runTool(folder.path(), "--all --matches 2 --shard --last 2 >s0").exitCode, 0);
  const ToolRun merged = runTool(folder.path(), "--merge --all s0");
  ASSERT_EQ(merged.lines.size(), 4u) << merged.errors;
  const json none = json::parse(merged.lines[0]), hit = json::parse(merged.lines[1]);
  expectTheTurnedRegion(merged.lines[1]);
  EXPECT_EQ(none["matches"], json::array());
  EXPECT_TRUE(none["score"].is_null() && none["scale"].is_null());
  ASSERT_EQ(hit["matches"].size(), 1u);  // one copy planted
  for (const char* key : {"matchX", "matchY", "matchAngle", "matchAngleDeg", "scale", "score"}) {
    EXPECT_EQ(hit["matches"][0][key], hit[key]) << key;
  }
  EXPECT_EQ(hit["scale"], 1.0);
  EXPECT_LT(hit["score"].get<double>(), 2.0);
  const ToolRun human = runTool(folder.path(), "--all --human --first 1 --last 1 --max-score 5");
  EXPECT_NE(human.lines.at(0).find("degrees, scale 1.000, score "), std::string::npos) << human.lines[0];
}

TEST_F(SearchTool, WrittenViewsShowTheTurnedBackRegionOnTheTemplate) {
  built.plantedArchive(2, {1});
  ASSERT_EQ(runTool(folder.path(), "--views views").exitCode, 0);
  for (const char* name : {"query", "archive", "template-preview", "match-preview"}) {
    EXPECT_TRUE(testing::readPng(folder / "views" / (std::string(name) + ".png")).ok) << name;
  }
  // Radius 40: of the disc's 5026 pixels nearly all agree (30): it was turned back.
  const std::vector<std::uint8_t> map = testing::readPng(folder / "views/difference-preview.png").bgr;
  ASSERT_EQ(map.size(), 96u * 96 * 3);
  EXPECT_GE(std::count(map.begin(), map.end(), 30), 3 * 4775);
}

TEST_F(SearchTool, OptionsReplaceTheWorkingFolderLayout) {
  // No res/: all from the options, from another folder or FOLDER, on a long path.
  built.plantedArchive(2, {1});
  const std::string deep = std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c');
  fs::create_directories(folder / deep);
  fs::rename(folder / "Image_Archive", folder / deep);
  fs::remove_all(folder / "res");
  fs::create_directories(folder / "elsewhere");
  const std::string options =
      "--archive=../" + deep + " --viewfinder=100,75,40 --filter-radius=8 --tolerance 8";
  for (const auto& [from, arguments] :
       {std::pair{folder / "elsewhere", options}, {folder.path(), "elsewhere " + options}}) {
    const ToolRun run = runTool(from, arguments + " --human");
    ASSERT_EQ(run.exitCode, 0) << arguments << ": " << run.errors;
    ASSERT_EQ(run.lines.size(), 3u) << arguments;
    EXPECT_NE(run.lines[0].find("no match"), std::string::npos) << run.lines[0];
    EXPECT_EQ(run.lines[1].rfind("../" + deep + "/Image_0000000001.jpg  200x150  MATCH at column", 0), 0u)
        << run.lines[1];
    EXPECT_EQ(run.lines[1].substr(run.lines[1].size() - 4), " ms)") << run.lines[1];
    EXPECT_EQ(run.lines[2].rfind("2 pictures scanned, 1 with a match", 0), 0u) << run.lines[2];
  }
}

TEST_F(SearchTool, EveryBadInputIsOneLineAndExitTwo) {
  // Archives whose picture 2 is refused; in 12 x 5 pictures the reset radius is 0.
  built.plantedArchive(2);
  fs::create_directories(folder / "folder");
  fs::create_directories(folder / "empty");
  const std::vector<std::uint8_t> small = testing::encodeJpeg(testing::texturedPicture(100, 80, 3));
  testing::writeFile(folder / "small.jpg", small);
  testing::writeTextFile(folder / "garbage.jpg", "not a picture");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
  for (const char* archive : {"sized", "damaged", "pipe", "tiny"}) {
    fs::copy(folder / "Image_Archive", folder / archive, fs::copy_options::recursive);
  }
  testing::writeFile(folder / archivePicturePath("sized", 2), small);
  testing::writeTextFile(folder / archivePicturePath("damaged", 2), "damaged");
  ASSERT_EQ(::mkfifo((folder / archivePicturePath("pipe", 2)).c_str(), 0644), 0);
  for (const char* name : {"Current_Image.jpg", "Image_0000000000.jpg"}) {
    testing::writeFile(folder / "tiny" / name, testing::encodeJpeg(testing::texturedPicture(12, 5, 1)));
  }
  std::vector<std::tuple<std::string, std::string, std::size_t>> cases = {
      {"--archive nowhere", "archive folder 'nowhere' not found", 0},
      {"--archive empty", "archive picture 'empty/Image_0000000000.jpg' not found", 0},
      {"--query none.jpg", "query picture 'none.jpg' not found", 0},
      {"--query garbage.jpg", "cannot decode query picture 'garbage.jpg'", 0},
      {"--query small.jpg", "is 100x80 but archive picture 0 is 200x150", 0},
      {"--query fifo", "cannot read query picture 'fifo': not a regular file", 0},
      {"--parameters none.bin", "parameters file 'none.bin' not found", 0},
      {"--parameters folder", "parameters file 'folder' cannot be read: not a regular file", 0},
      {"--viewfinder 40,75,40", "does not fit the 200x150 pictures", 0},
      {"--archive tiny", "the viewfinder 6,2,0 is too small to search with", 0},
      {"--archive sized", "Image_0000000002.jpg' is 100x80 but the query picture is 200x150", 2},
      {"--archive damaged", "cannot decode archive picture", 2},
      {"--archive pipe", "cannot read archive picture 'pipe/Image_0000000002.jpg': not a regular file", 2},
      {"--all >/dev/full", "cannot write to standard output: No space left on device", 0},
      {"--first 5 --last 4", "--first 5 is after --last 4", 0},
      {"--human=", "--human takes no value", 0},
      {"--fast", "unknown option --fast", 0},
      {"-hh", "unknown option -hh", 0},
      {"--views --all", "--views needs a DIR, not the option '--all'", 0},
      {"nowhere", "can't work in nowhere: No such file or directory", 0},
      {"folder archive", "unexpected argument 'archive'", 0},
      {"''", "an empty argument", 0},
      {"--merge", "--merge needs the shards' output files", 0},
      {"--merge --first 3 a.jsonl", "--merge joins shard files", 0},
      {"--merge --shard a.jsonl", "--merge joins shard files", 0},
      {"--shard --human", "--shard writes JSON lines", 0},
      {"--merge --matches 2 a.jsonl", "--merge joins shard files", 0},
      {"--min-score 3", "lower scores are better here", 0},
  };
  // Values out of range or not plain decimal: the message names the option.
  const char* const outOfRange[] = {"--filter-radius 0",
                                    "--filter-radius 21",
                                    "--tolerance 256",
                                    "--tolerance -1",
                                    "--tolerance 1e3",
                                    "--first 4294967296",
                                    "--first 99999999999999999999",
                                    "--first ''",
                                    "--last ' 5'",
                                    "--viewfinder 1,2",
                                    "--viewfinder 1,2,3,4",
                                    "--viewfinder 1,2,0",
                                    "--viewfinder 1,2,251",
                                    "--viewfinder a,2,3",
                                    "--viewfinder ,,",
                                    "--query",
                                    "--archive=",
                                    "--matches 0",
                                    "--matches 17",
                                    "--angles 10",
                                    "--angles 10:361",
                                    "--angles -5:10",
                                    "--angles 1.:2",
                                    "--max-score -1",
                                    "--max-score 1e3"};
  for (const std::string arguments : outOfRange) {
    cases.emplace_back(arguments, arguments.substr(0, arguments.find_first_of(" =")), 0);
  }
  for (const auto& [arguments, message, lines] : cases) {
    const ToolRun run = runTool(folder.path(), arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments;
    EXPECT_EQ(run.lines.size(), lines) << arguments;
    EXPECT_EQ(run.errors.rfind("orvalis-search: ", 0), 0u) << arguments << ": " << run.errors;
    EXPECT_NE(run.errors.find(message), std::string::npos) << arguments << ": " << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << arguments << ": " << run.errors;
  }
}

TEST_F(SearchTool, FileNamesThatAreNotUtf8StillGiveValidJsonLines) {
  // A folder named with the bytes 0xFF 0xFE: each becomes U+FFFD.
  built.plantedArchive(2);
  fs::rename(folder / "Image_Archive", folder / "\xFF\xFE");
  const ToolRun run = runTool(folder.path(), "--archive $(printf '\\377\\376')");
  ASSERT_EQ(run.exitCode, 1) << run.errors;
  ASSERT_EQ(run.lines.size(), 3u);
  for (const std::string& line : run.lines) EXPECT_NO_THROW(json::parse(line)) << line;
  EXPECT_EQ(field(run.lines[1], "file"), "\uFFFD\uFFFD/Image_0000000001.jpg");
}

// A scan of minutes shows its progress when asked, though standard error is a file.
TEST_F(SearchTool, ALongScanSaysHowFarItIsWhenAsked) {
  built.flat();
  const ToolRun run =
      runTool(folder.path(),
              "--progress & for i in $(seq 250); do grep -qs 'rows scanned' stderr.txt && break; "
              "sleep 0.1; done; kill -9 $!");
  EXPECT_NE(run.errors.find("orvalis-search: picture 0: "), std::string::npos) << run.errors;
}

// A picture line of a shard's output, as the tool writes it.
std::string picture(unsigned index, bool match) {
  char name[16];
  std::snprintf(name, sizeof name, "%010u", index);
  return R"({"index":)" + std::to_string(index) + R"(,"file":"Image_Archive/Image_)" + name +
         R"(.jpg","width":8,"height":6,"matchFound":)" +
         (match ? R"(true,"matchX":3,"matchY":4,"matchAngle":0.49916416605611114,"matchAngleDeg":28.6)"
                : R"(false,"matchX":null,"matchY":null,"matchAngle":null,"matchAngleDeg":null)") +
         R"(,"filterMs":1.0,"scanMs":2.0})" + "\n";
}

// text with its first from replaced by to.
std::string with(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

// count pictures from first, those in matched found, and a --shard summary.
std::string shard(unsigned first, unsigned last, unsigned count, std::vector<unsigned> matched, bool all) {
  std::string text;
  for (unsigned index = first; index < first + count; ++index) {
    text += picture(index, std::find(matched.begin(), matched.end(), index) != matched.end());
  }
  return text + R"({"summary":true,"scanned":)" + std::to_string(count) + R"(,"matches":)" +
         std::to_string(matched.size()) + R"(,"totalMs":10.5,"shard":{"first":)" + std::to_string(first) +
         R"(,"last":)" + std::to_string(last) + R"(,"all":)" + (all ? "true" : "false") + "}}\n";
}

// Files named -s0, -s1...: names with a dash, after "--".
ToolRun merge(const std::vector<std::string>& files, const std::string& flags) {
  testing::TempDir folder;
  std::string arguments = "--merge " + flags + " --";
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string name = {'-', 's', static_cast<char>('0' + i)};
    testing::writeTextFile(folder / name, files[i]);
    arguments += " " + name;
  }
  return runTool(folder.path(), arguments);
}

TEST(Merge, JoinsTilingShardsAsOneWalk) {
  // Shards out of order; a walk ends at its first match or the missing number 5.
  const std::tuple<std::vector<std::string>, const char*, int, const char*> cases[] = {
      {{shard(6, 8, 1, {6}, false), shard(0, 2, 3, {}, false), shard(3, 5, 2, {4}, false)},
       "",
       0,
       "0 1 2 3 4* | 5 1 21.000000"},
      {{shard(3, 5, 2, {4}, true), shard(0, 2, 3, {1}, true), shard(6, 8, 1, {6}, true)},
       "--all",
       0,
       "0 1* 2 3 4* | 5 2 21.000000"},
      {{shard(0, 2, 3, {1, 2}, true)}, "", 0, "0 1* | 2 1 10.500000"},
      {{shard(0, 1, 2, {}, false), shard(2, 3, 2, {}, false)}, "", 1, "0 1 2 3 | 4 0 21.000000"},
  };
  for (const auto& [files, flags, exitCode, expected] : cases) {
    const ToolRun run = merge(files, flags);
    EXPECT_EQ(run.exitCode, exitCode) << expected << ": " << run.errors;
    EXPECT_EQ(digest(run.lines, true), expected);
    // The lines are rebuilt whole, not only their numbers.
    EXPECT_EQ(run.lines.empty() ? json() : field(run.lines[0], "file"), "Image_Archive/Image_0000000000.jpg");
  }
}

TEST(Merge, RefusesWhatIsNotAFinishedTilingAndNamesTheFile) {
  const std::string good = shard(0, 2, 3, {}, false);
  const std::string one = shard(0, 0, 1, {}, false), found = shard(0, 0, 1, {0}, false);
  const std::string bad = "s0:1: not a picture line of orvalis-search: ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{good, good.substr(0, good.rfind("{\"summary"))}, "s1: no summary line"},
      {{good, good.substr(0, good.size() - 1)}, "s1:4: cut off"},
      {{std::string(1 << 20, ' ') + good}, "s0:1: more than"},
      {{with(one, "\"filterMs\":1.0", "\"filterMs\":1e308")}, bad + "filterMs and scanMs are not times"},
      {{with(one, "\"scanMs\":2.0", "\"scanMs\":-2.0")}, bad + "filterMs and scanMs are not times"},
      {{with(one, "\"width\":8", "\"width\":0")}, bad + "width and height"},
      {{with(one, "Image_0000000000", "Image_0000000001")}, bad + "file is not the path"},
      {{with(one, "\"index\":0", "\"index\":0,\"index\":0")}, "s0:1: the key 'index' is given twice"},
      {{with(one, ",", ", ")}, bad + "not written as"},
      {{with(found, "\"matchX\":3", "\"matchX\":8")}, bad + "matchX and matchY"},
      {{with(found, "28.6", "360.0")}, bad + "matchAngleDeg"},
      {{with(found, "0.49916416605611114", "0.5")}, bad + "matchAngle is not"},
      {{with(one, "10.5", "1e308")}, "s0:2: not the summary of a shard"},
      {{with(one, R"(,"shard":{"first":0,"last":0,"all":false})", "")}, "s0:2: not the summary of a shard"},
      {{with(one, "\"all\":false", "\"all\":false,\"all\":false")}, "s0:2: the key 'all' is given twice"},
      {{good, "\n" + shard(3, 4, 2, {}, false)}, "s1:1: not a JSON object"},
      {{picture(0, false) + good}, "s0:2: picture 0 where 1 was due"},
      {{good, shard(2, 4, 3, {}, false)}, "s1: numbers 2 to 2 are in -s0 too"},
      {{good, shard(4, 5, 2, {}, false)}, "no file holds numbers 3 to 3"},
      {{shard(0, 2, 3, {}, true), good}, "s1: walked without --all"},
      {{shard(0, 2, 3, {0}, false)}, "s0:4: a walk without --all went on after a match"},
  };
  for (const auto& [files, message] : cases) {
    const ToolRun run = merge(files, message.find("without --all") != std::string::npos ? "--all" : "");
    EXPECT_EQ(run.exitCode, 2) << message;
    EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
    EXPECT_TRUE(run.lines.empty()) << message;
  }
}

}  // namespace
}  // namespace orvalis
