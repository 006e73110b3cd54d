// Runs the real orvalis-search on archives of generated pictures, on bad input
// of every kind, and on shard outputs to join.

#include <gtest/gtest.h>
#include <orvalisVersion.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "control/archiveWalk.h"
#include "tests/support/childProcess.h"
#include "tests/support/pngReading.h"
#include "tests/support/workingFolder.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::BgrPicture;

struct ToolRun {
  int exitCode = -1;
  bool timedOut = false;
  std::vector<std::string> lines;  // standard output
  std::string errors;              // standard error
};

enum class Output { File, DevFull, ClosedPipe };

// Runs the tool through the shell in folder, in a child with a deadline: a
// blocked open or write shows as a time-out, not a hung test.
ToolRun runTool(const fs::path& folder, const std::string& arguments, Output output = Output::File) {
  const fs::path outputFile = folder / "stdout.txt", errorFile = folder / "stderr.txt";
  fs::remove(outputFile);
  fs::remove(errorFile);
  const std::string target = output == Output::DevFull ? "/dev/full" : outputFile.string();
  const std::string command = (output == Output::ClosedPipe ? "" : ">'" + target + "' ") + "2>'" +
                              errorFile.string() + "' exec '" ORVALIS_BUILD_DIR "/orvalis-search' " +
                              arguments;
  int pipeEnds[2] = {-1, -1};
  // Nobody reads: with SIGPIPE ignored, every write fails with EPIPE.
  if (output == Output::ClosedPipe && (::pipe(pipeEnds) != 0 || ::close(pipeEnds[0]) != 0)) return {};
  const testing::ChildResult child = testing::runInChild(folder, [&] {
    if (output == Output::ClosedPipe) {
      ::dup2(pipeEnds[1], STDOUT_FILENO);
      ::signal(SIGPIPE, SIG_IGN);
    }
    testing::execShell(command);
  });
  if (output == Output::ClosedPipe) ::close(pipeEnds[1]);
  ToolRun run;
  run.exitCode = child.exited ? child.exitCode : -1;
  run.timedOut = child.timedOut;
  const auto text = [](const fs::path& file) {
    const std::vector<std::uint8_t> bytes = testing::readFile(file);
    return std::string(bytes.begin(), bytes.end());
  };
  std::istringstream stream(text(outputFile));
  for (std::string line; std::getline(stream, line);) run.lines.push_back(line);
  run.errors = text(errorFile);
  return run;
}

// A key's value in a JSON line, null when missing. Throws on a line that is
// not valid JSON (or not UTF-8).
json field(const std::string& line, const std::string& key) {
  return json::parse(line).value(key, json());
}

double number(const std::string& line, const std::string& key) {
  return field(line, key).get<double>();
}

// The indexes printed, a * after each match, then the summary's counts:
// "0 1* | 2 1". With totals, the summary's totalMs too.
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

// Query 200 x 150 with the viewfinder at column 100, row 75, radius 40. A
// matching archive picture holds the viewfinder square turned by a quarter,
// centred on column 120, row 70, pasted into another texture. A tolerance of
// 8 keeps the first accepted centre of these smooth textures within a pixel
// or two of the true one.
class SearchTool : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kWidth = 200, kHeight = 150;

  void writePicture(const std::string& name, const BgrPicture& picture) {
    testing::writeFile(folder / name, testing::encodeJpeg(picture, 100));
  }
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
  struct Case {
    const char* arguments;
    int exitCode;
    const char* digest;
  };
  const Case cases[] = {
      {"", 0, "0 1* | 2 1"},
      {"--all", 0, "0 1* 2 3* | 4 2"},
      {"--first 2 --last 2", 1, "2 | 1 0"},
      {"--first 3", 0, "3* | 1 1"},
      {"--shard --first 2 --last 2", 0, "2 | 1 0"},  // a finished shard, match or not
      {"--all --reference", 0, "0 1* 2 3* | 4 2"},
      {"--first 0 --last 0 --filter-radius 1 --tolerance 0", 1, "0 | 1 0"},  // each range's lowest
  };
  for (const Case& c : cases) {
    const ToolRun run = runTool(folder.path(), c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << ": " << run.errors;
    EXPECT_EQ(digest(run.lines), c.digest) << c.arguments;
    for (const std::string& line : run.lines) {
      if (field(line, "matchFound") == true) expectTheTurnedRegion(line);
    }
  }
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
  // The human line gives the angle to the hundredth of a degree.
  char turned[48];
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

TEST_F(SearchTool, ShardsRunApartMergeIntoWhatOneRunPrints) {
  built.plantedArchive(4, {1, 3});
  for (const char* flags : {"", "--all"}) {
    const std::string shard = std::string("--shard ") + flags;
    ASSERT_EQ(runTool(folder.path(), shard + " --last 1 >s0").exitCode, 0);
    ASSERT_EQ(runTool(folder.path(), shard + " --first 2 >s1").exitCode, 0);
    EXPECT_EQ(digest(runTool(folder.path(), std::string("--merge s1 s0 ") + flags).lines),
              digest(runTool(folder.path(), flags).lines))
        << flags;
  }
}

TEST_F(SearchTool, CopiesCarryScaleAndScoreAndMergeAsWritten) {
  built.plantedArchive(3, {1});
  const ToolRun run = runTool(folder.path(), "--all --matches 2 --shard >s0");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
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

TEST_F(SearchTool, TheWidestOptionsFindNothingInTheDemoPicturesWithoutTheRegion) {
  const ToolRun run =
      runTool(folder.path(), "--all --scales 0.5:2 --light --matches 4 " ORVALIS_SOURCE_DIR "/demo");
  EXPECT_EQ(digest(run.lines), "0 1 2 3 4* | 5 1") << run.errors;
}

TEST_F(SearchTool, WrittenViewsShowTheTurnedBackRegionOnTheTemplate) {
  built.plantedArchive(2, {1});
  const ToolRun run = runTool(folder.path(), "--views views");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  std::map<std::string, testing::PngFile> views;
  for (const char* name : {"query", "archive", "template-preview", "match-preview", "difference-preview"}) {
    views[name] = testing::readPng(folder / "views" / (std::string(name) + ".png"));
    ASSERT_TRUE(views[name].ok) << name;
  }
  EXPECT_EQ(views["archive"].width, kWidth);
  EXPECT_EQ(views["query"].height, kHeight);
  // Radius 40: a difference map of side 96 whose disc of 5026 pixels nearly
  // all takes the dark "agrees" value, 30: the match was turned back.
  const std::vector<std::uint8_t>& map = views["difference-preview"].bgr;
  ASSERT_EQ(map.size(), 96u * 96 * 3);
  EXPECT_GE(std::count(map.begin(), map.end(), 30), 3 * 4775);
}

TEST_F(SearchTool, OptionsReplaceTheWorkingFolderLayout) {
  // Everything named, no parameters file: the viewfinder comes from the
  // command line, the query from the archive. From another working folder,
  // from the one named as FOLDER (whose relative paths hold), and with an
  // archive path too long for a line of fixed size.
  built.plantedArchive(2, {1});
  fs::rename(folder / "Image_Archive", folder / "pics");
  fs::remove_all(folder / "res");
  fs::create_directories(folder / "elsewhere");
  const std::string deep = std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c');
  fs::create_directories(folder / deep);
  fs::copy(folder / "pics", folder / deep);
  const std::string options = " --viewfinder=100,75,40 --filter-radius=8 --tolerance 8 --human";
  const std::tuple<fs::path, std::string, std::string> cases[] = {
      {folder / "elsewhere", "--archive=../pics", "../pics"},
      {folder.path(), "elsewhere --archive=../pics", "../pics"},
      {folder / "elsewhere", "--archive=../" + deep, "../" + deep},
  };
  for (const auto& [from, arguments, archive] : cases) {
    const ToolRun run = runTool(from, arguments + options);
    ASSERT_EQ(run.exitCode, 0) << arguments << ": " << run.errors;
    ASSERT_EQ(run.lines.size(), 3u) << arguments;
    EXPECT_NE(run.lines[0].find("no match"), std::string::npos) << run.lines[0];
    EXPECT_EQ(run.lines[1].rfind(archive + "/Image_0000000001.jpg  200x150  MATCH at column", 0), 0u)
        << run.lines[1];
    EXPECT_EQ(run.lines[1].substr(run.lines[1].size() - 4), " ms)") << run.lines[1];
    EXPECT_EQ(run.lines[2].rfind("2 pictures scanned, 1 with a match", 0), 0u) << run.lines[2];
  }
}

TEST_F(SearchTool, EveryBadInputIsOneLineAndExitTwo) {
  // Archives whose picture 2 is refused, after two lines; and one of 12 x 5
  // pictures, where the stored viewfinder does not fit and its reset has
  // radius 0.
  built.plantedArchive(2);
  fs::create_directories(folder / "folder");
  fs::create_directories(folder / "empty");
  writePicture("small.jpg", testing::texturedPicture(100, 80, 3));
  testing::writeTextFile(folder / "garbage.jpg", "not a picture");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
  for (const char* archive : {"sized", "damaged", "pipe", "tiny"}) {
    fs::copy(folder / "Image_Archive", folder / archive, fs::copy_options::recursive);
  }
  writePicture(archivePicturePath("sized", 2), testing::texturedPicture(100, 80, 3));
  testing::writeTextFile(folder / archivePicturePath("damaged", 2), "damaged");
  ASSERT_EQ(::mkfifo((folder / archivePicturePath("pipe", 2)).c_str(), 0644), 0);
  for (const char* name : {"Current_Image.jpg", "Image_0000000000.jpg"}) {
    writePicture(std::string("tiny/") + name, testing::texturedPicture(12, 5, 1));
  }
  struct Case {
    std::string arguments;
    std::string message;
    std::size_t lines = 0;
  };
  std::vector<Case> cases = {
      {"--archive nowhere", "archive folder 'nowhere' not found"},
      {"--archive empty", "archive picture 'empty/Image_0000000000.jpg' not found"},
      {"--query none.jpg", "query picture 'none.jpg' not found"},
      {"--query garbage.jpg", "cannot decode query picture 'garbage.jpg'"},
      {"--query small.jpg", "is 100x80 but archive picture 0 is 200x150"},
      {"--query fifo", "cannot read query picture 'fifo': not a regular file"},
      {"--parameters none.bin", "parameters file 'none.bin' not found"},
      {"--parameters folder", "parameters file 'folder' cannot be read: not a regular file"},
      {"--viewfinder 40,75,40", "does not fit the 200x150 pictures"},
      {"--archive tiny", "the viewfinder 6,2,0 is too small to search with"},
      {"--archive sized", "Image_0000000002.jpg' is 100x80 but the query picture is 200x150", 2},
      {"--archive damaged", "cannot decode archive picture", 2},
      {"--archive pipe", "cannot read archive picture 'pipe/Image_0000000002.jpg': not a regular file", 2},
      {"--first 5 --last 4", "--first 5 is after --last 4"},
      {"--human=", "--human takes no value"},
      {"--fast", "unknown option --fast"},
      {"-hh", "unknown option -hh"},
      {"--views --all", "--views needs a DIR, not the option '--all'"},
      {"nowhere", "can't work in nowhere: No such file or directory"},
      {"folder archive", "unexpected argument 'archive'"},
      {"''", "an empty argument"},
      {"--merge", "--merge needs the shards' output files"},
      {"--merge --first 3 a.jsonl", "--merge joins shard files"},
      {"--merge --shard a.jsonl", "--merge joins shard files"},
      {"--shard --human", "--shard writes JSON lines"},
      {"--merge --matches 2 a.jsonl", "--merge joins shard files"},
      {"--min-score 3", "lower scores are better here"},
  };
  // Values out of range or not plain decimal: the message names the option.
  for (const std::string arguments : {"--filter-radius 0",
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
                                      "--max-score 1e3"}) {
    cases.push_back({arguments, arguments.substr(0, arguments.find_first_of(" ="))});
  }
  for (const Case& c : cases) {
    const ToolRun run = runTool(folder.path(), c.arguments);
    EXPECT_FALSE(run.timedOut) << c.arguments;
    EXPECT_EQ(run.exitCode, 2) << c.arguments;
    EXPECT_EQ(run.lines.size(), c.lines) << c.arguments;
    EXPECT_EQ(run.errors.rfind("orvalis-search: ", 0), 0u) << c.arguments << ": " << run.errors;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.arguments << ": " << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << c.arguments << ": " << run.errors;
  }
}

TEST_F(SearchTool, OutputThatCantBeWrittenEndsAtOnceWithExitTwo) {
  // A full disk and a reader that went away once ended with status 0 and the
  // results lost.
  built.plantedArchive(3);
  for (const Output output : {Output::DevFull, Output::ClosedPipe}) {
    const ToolRun run = runTool(folder.path(), "", output);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.errors.rfind("orvalis-search: cannot write to standard output: ", 0), 0u) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
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

// A picture without texture takes minutes to scan: asked for, the progress
// shows while the scan runs, though standard error is a file here.
TEST_F(SearchTool, ALongScanSaysHowFarItIsWhenAsked) {
  built.flat();
  const testing::Child tool(folder.path(), [] {
    testing::execShell("exec '" ORVALIS_BUILD_DIR "/orvalis-search' --progress >/dev/null 2>progress");
  });
  std::string progress;
  for (int tenth = 0; tenth < 600 && progress.find("rows scanned") == std::string::npos; ++tenth) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::uint8_t> bytes = testing::readFile(folder / "progress");
    progress.assign(bytes.begin(), bytes.end());
  }
  EXPECT_NE(progress.find("orvalis-search: picture 0: "), std::string::npos) << progress;
}

TEST_F(SearchTool, HelpAndVersionExplainThemselvesAndExitZero) {
  const char* usage = "Usage: orvalis-search [options] [FOLDER]";
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"--help", {usage}},
      {"-h", {usage}},
      {"--version",
       {"orvalis-search " ORVALIS_VERSION, "Licence: MIT. Copyright (c) 2026 the Orvalis developers."}},
  };
  for (const auto& [option, firstLines] : cases) {
    ToolRun run = runTool(folder.path(), option);
    EXPECT_EQ(run.exitCode, 0) << option;
    run.lines.resize(firstLines.size());
    EXPECT_EQ(run.lines, firstLines);
  }
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

// A shard's output: pictures first..first+count-1, matches at the numbers in
// matched, then the summary of a --shard run over first..last.
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
  struct Case {
    const char* what;
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
       "0 1 2 3 4* | 5 1 21.000000"},
      // Every match, up to the missing number 5.
      {"every match",
       {shard(0, 2, 3, {1}, true), shard(3, 5, 2, {4}, true), shard(6, 8, 1, {6}, true)},
       "--all",
       0,
       "0 1* 2 3 4* | 5 2 21.000000"},
      {"first of --all shards", {shard(0, 2, 3, {1, 2}, true)}, "", 0, "0 1* | 2 1 10.500000"},
      {"no match", {shard(0, 1, 2, {}, false), shard(2, 3, 2, {}, false)}, "", 1, "0 1 2 3 | 4 0 21.000000"},
  };
  for (const Case& c : cases) {
    const ToolRun run = merge(c.files, c.flags);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.errors;
    EXPECT_EQ(digest(run.lines, true), c.digest) << c.what;
    // The lines are rebuilt whole, not only their numbers.
    EXPECT_EQ(run.lines.empty() ? json() : field(run.lines[0], "file"), "Image_Archive/Image_0000000000.jpg")
        << c.what;
  }
}

TEST(Merge, RefusesWhatIsNotAFinishedTilingAndNamesTheFile) {
  const std::string good = shard(0, 2, 3, {}, false);
  const std::string one = picture(0, false), found = picture(0, true);
  const std::string end =
      R"({"summary":true,"scanned":1,"matches":0,"totalMs":10.5,"shard":{"first":0,"last":0,"all":false}})"
      "\n";
  const std::string endFound = with(end, "\"matches\":0", "\"matches\":1");
  const std::string notAPicture = "s0:1: not a picture line of orvalis-search: ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{good, good.substr(0, good.rfind("{\"summary"))}, "s1: no summary line"},
      {{good, good.substr(0, good.size() - 1)}, "s1:4: cut off"},
      {{std::string(1 << 20, ' ') + good}, "s0:1: more than"},
      {{with(one, "\"filterMs\":1.0", "\"filterMs\":1e308") + end},
       notAPicture + "filterMs and scanMs are not times"},
      {{with(one, "\"scanMs\":2.0", "\"scanMs\":-2.0") + end},
       notAPicture + "filterMs and scanMs are not times"},
      {{with(one, "\"width\":8", "\"width\":0") + end}, notAPicture + "width and height"},
      {{with(one, "Image_0000000000", "Image_0000000001") + end}, notAPicture + "file is not the path"},
      {{with(one, "\"index\":0", "\"index\":0,\"index\":0") + end}, "s0:1: the key 'index' is given twice"},
      {{with(one, ",", ", ") + end}, notAPicture + "not written as"},
      {{with(found, "\"matchX\":3", "\"matchX\":8") + endFound}, notAPicture + "matchX and matchY"},
      {{with(found, "28.6", "360.0") + endFound}, notAPicture + "matchAngleDeg"},
      {{with(found, "0.49916416605611114", "0.5") + endFound}, notAPicture + "matchAngle is not"},
      {{one + with(end, "10.5", "1e308")}, "s0:2: not the summary of a shard"},
      {{one + with(end, "\"all\":false", "\"all\":false,\"all\":false")},
       "s0:2: the key 'all' is given twice"},
      {{good, "\n" + shard(3, 4, 2, {}, false)}, "s1:1: not a JSON object"},
      {{picture(0, false) + good}, "s0:2: picture 0 where 1 was due"},
      {{good, shard(2, 4, 3, {}, false)}, "s1: numbers 2 to 2 are in -s0 too"},
      {{good, shard(4, 5, 2, {}, false)}, "no file holds numbers 3 to 3"},
      {{shard(0, 2, 3, {}, true), good}, "s1: walked without --all"},
      {{picture(0, false) + R"({"summary": true, "scanned": 1, "matches": 0, "totalMs": 1.0})"
                            "\n"},
       "s0:2: not the summary of a shard"},
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
