// Runs the real orvalis-search on archives of generated pictures.

#include <gtest/gtest.h>
#include <orvalisVersion.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "control/archiveWalk.h"
#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/pngReading.h"
#include "tests/support/quarterTurn.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using testing::BgrPicture;

struct ToolRun {
  int exitCode = -1;
  bool timedOut = false;
  std::vector<std::string> lines;  // standard output
  std::string errors;              // standard error
};

// Where the tool's standard output goes.
enum class Output { File, DevFull, ClosedPipe };

// Runs the tool in folder through the shell, in a child with a deadline: a
// blocked open or write shows as a time-out, not a hung test. As root the
// child becomes nobody when asked, so that file permissions apply.
ToolRun runTool(const fs::path& folder, const std::string& arguments, Output output = Output::File,
                bool asNobody = false) {
  const fs::path outputFile = folder / "stdout.txt", errorFile = folder / "stderr.txt";
  fs::remove(outputFile);
  fs::remove(errorFile);
  const std::string target = output == Output::DevFull ? "/dev/full" : outputFile.string();
  const std::string command = std::string(output == Output::ClosedPipe ? "" : ">'" + target + "' ") + "2>'" +
                              errorFile.string() + "' exec '" ORVALIS_BUILD_DIR "/orvalis-search' " +
                              arguments;
  int pipeEnds[2] = {-1, -1};
  if (output == Output::ClosedPipe) {
    // Nobody reads: with SIGPIPE ignored, every write fails with EPIPE.
    if (::pipe(pipeEnds) != 0) return {};
    ::close(pipeEnds[0]);
  }
  const testing::ChildResult child = testing::runInChild(folder, [&] {
    if (output == Output::ClosedPipe) {
      ::dup2(pipeEnds[1], STDOUT_FILENO);
      ::signal(SIGPIPE, SIG_IGN);
    }
    if (asNobody && !testing::dropRootPrivileges()) ::_exit(98);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(99);
  });
  if (output == Output::ClosedPipe) ::close(pipeEnds[1]);
  ToolRun run;
  run.exitCode = child.exited ? child.exitCode : -1;
  run.timedOut = child.timedOut;
  std::error_code missing;
  if (fs::exists(outputFile, missing)) {
    const std::vector<std::uint8_t> bytes = testing::readFile(outputFile);
    std::istringstream stream(std::string(bytes.begin(), bytes.end()));
    for (std::string line; std::getline(stream, line);) run.lines.push_back(line);
  }
  const std::vector<std::uint8_t> bytes = testing::readFile(errorFile);
  run.errors.assign(bytes.begin(), bytes.end());
  return run;
}

// A key's value in a JSON line, which must parse; a missing key reads as
// null. Throws on a line that is not valid JSON (or not UTF-8).
nlohmann::json field(const std::string& line, const std::string& key) {
  const nlohmann::json object = nlohmann::json::parse(line);
  return object.contains(key) ? object.at(key) : nlohmann::json();
}

double number(const std::string& json, const std::string& key) {
  return field(json, key).get<double>();
}

// Query 200 x 150 with the viewfinder at column 100, row 75, radius 40. The
// matching archive picture holds the viewfinder square turned by a quarter,
// centred on column 120, row 70, pasted into another texture.
// The generated textures are smooth: with the default tolerance of 16 the
// first accepted centre lies up to about 6 pixels off the true one, and the
// refinement then keeps the best of its own window. A tolerance of 8 keeps
// the first hit within a pixel or two.
class SearchTool : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kWidth = 200, kHeight = 150;
  static constexpr std::uint8_t kTolerance = 8;
  static constexpr std::int64_t kMatchRow = 70, kMatchColumn = 120;

  void SetUp() override {
    query = testing::texturedPicture(kWidth, kHeight, 31);
    writePicture("Image_Archive/Current_Image.jpg", query);
    SearchParameters parameters = kDefaultParameters;
    parameters.colorTolerance = kTolerance;
    parameters.viewfinderX = 100;
    parameters.viewfinderY = 75;
    parameters.viewfinderRadius = 40;
    fs::create_directories(folder / "res");
    ASSERT_EQ(writeParametersFile(parameters, (folder / "res/Combo_Box_Parameters.bin").c_str()), 1);
  }

  void writePicture(const std::string& name, const BgrPicture& picture) {
    testing::writeFile(folder / name, testing::encodeJpeg(picture, 100, testing::JpegKind::Color444));
  }
  void writeDistractors(std::initializer_list<std::uint32_t> indexes) {
    for (const std::uint32_t index : indexes) {
      writePicture(archivePicturePath("Image_Archive", index),
                   testing::texturedPicture(kWidth, kHeight, 40 + index));
    }
  }
  void writeMatch(std::uint32_t index) {
    const BgrPicture turned = testing::pasteQuarterTurn(
        query, 75, 100, testing::texturedPicture(kWidth, kHeight, 77), kMatchRow, kMatchColumn, 52);
    writePicture(archivePicturePath("Image_Archive", index), turned);
  }
  static void expectTheTurnedRegion(const std::string& json) {
    EXPECT_EQ(field(json, "matchFound"), true) << json;
    EXPECT_NEAR(number(json, "matchX"), kMatchColumn, 2) << json;
    EXPECT_NEAR(number(json, "matchY"), kMatchRow, 2) << json;
    // Within one sample step of the outer ring (800 samples).
    EXPECT_NEAR(number(json, "matchAngleDeg"), 90.0, 360.0 / 800) << json;
    EXPECT_NEAR(number(json, "matchAngle"), number(json, "matchAngleDeg") * 3.1415926535 / 180, 1e-12)
        << json;
  }

  testing::TempDir folder;
  BgrPicture query;
};

TEST_F(SearchTool, FindsTheTurnedRegionAndStopsThere) {
  writeDistractors({0, 2});
  writeMatch(1);
  const ToolRun run = runTool(folder.path(), "");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 3u) << run.errors;

  const std::string& first = run.lines[0];
  EXPECT_EQ(field(first, "index"), 0);
  EXPECT_EQ(field(first, "file"), "Image_Archive/Image_0000000000.jpg");
  EXPECT_EQ(field(first, "width"), 200);
  EXPECT_EQ(field(first, "height"), 150);
  EXPECT_EQ(field(first, "matchFound"), false);
  for (const char* key : {"matchX", "matchY", "matchAngle", "matchAngleDeg"})
    EXPECT_EQ(field(first, key), nullptr);
  EXPECT_GE(number(first, "filterMs"), 0);
  EXPECT_GE(number(first, "scanMs"), 0);

  EXPECT_EQ(field(run.lines[1], "index"), 1);
  expectTheTurnedRegion(run.lines[1]);

  const std::string& summary = run.lines[2];
  EXPECT_EQ(field(summary, "summary"), true);
  EXPECT_EQ(field(summary, "scanned"), 2);
  EXPECT_EQ(field(summary, "matches"), 1);
  EXPECT_GE(number(summary, "totalMs"), number(run.lines[1], "scanMs"));
}

TEST_F(SearchTool, WrittenViewsShowTheTurnedBackRegionAgreeingWithTheTemplate) {
  writeDistractors({0});
  writeMatch(1);
  const ToolRun run = runTool(folder.path(), "--views views");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const auto templatePreview = testing::readPng(folder / "views/template-preview.png");
  const auto matchPreview = testing::readPng(folder / "views/match-preview.png");
  const auto difference = testing::readPng(folder / "views/difference-preview.png");
  const auto archive = testing::readPng(folder / "views/archive.png");
  const auto queryView = testing::readPng(folder / "views/query.png");
  ASSERT_TRUE(templatePreview.ok && matchPreview.ok && difference.ok && archive.ok && queryView.ok);
  EXPECT_EQ(archive.width, kWidth);
  EXPECT_EQ(queryView.height, kHeight);
  // Radius 40: previews of side 4 x (120 x 20 / 100) = 96, disc centred at 48.
  ASSERT_EQ(templatePreview.width, 96u);
  ASSERT_EQ(matchPreview.width, 96u);
  ASSERT_EQ(difference.width, 96u);
  int inside = 0, agreeing = 0, closeGray = 0;
  for (std::uint32_t y = 0; y < 96; ++y) {
    for (std::uint32_t x = 0; x < 96; ++x) {
      const std::size_t at = 3 * (static_cast<std::size_t>(y) * 96 + x);
      const double dy = double(y) - 48, dx = double(x) - 48;
      if (dy * dy + dx * dx >= 40.0 * 40.0) {
        EXPECT_EQ(difference.bgr[at], 0) << y << "," << x;  // black outside the disc
        continue;
      }
      ++inside;
      if (difference.bgr[at] == 30) ++agreeing;
      if (std::abs(int(templatePreview.bgr[at]) - int(matchPreview.bgr[at])) <= kTolerance) ++closeGray;
    }
  }
  // The turned-back archive disc lies on the template: nearly every pixel of
  // the difference map is the dark "agrees" value, and the two gray previews
  // match within the tolerance.
  EXPECT_GE(agreeing, inside * 95 / 100) << agreeing << " of " << inside;
  EXPECT_GE(closeGray, inside * 95 / 100) << closeGray << " of " << inside;
  std::printf("[ views ] difference map: %d of %d disc pixels agree (%.1f%%); gray previews within %d: %d\n",
              agreeing, inside, 100.0 * agreeing / inside, int(kTolerance), closeGray);
}

TEST_F(SearchTool, AllGoesOnAndRangesSplitTheArchive) {
  writeDistractors({0, 2});
  writeMatch(1);
  writeMatch(3);
  ToolRun run = runTool(folder.path(), "--all");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 5u);
  EXPECT_EQ(field(run.lines[2], "matchFound"), false);
  expectTheTurnedRegion(run.lines[3]);
  EXPECT_EQ(field(run.lines[4], "matches"), 2);

  run = runTool(folder.path(), "--first 2 --last 2");
  EXPECT_EQ(run.exitCode, 1) << run.errors;
  ASSERT_EQ(run.lines.size(), 2u);
  EXPECT_EQ(field(run.lines[0], "index"), 2);
  EXPECT_EQ(field(run.lines[1], "scanned"), 1);

  run = runTool(folder.path(), "--first 3");
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 2u);
  expectTheTurnedRegion(run.lines[0]);
}

TEST_F(SearchTool, ReferenceKernelsReportTheSameToTheLastDigit) {
  // Every field but the times, printed with 17 significant digits, so equal
  // text is equal bits.
  writeDistractors({0, 2});
  writeMatch(1);
  writeMatch(3);
  const ToolRun fast = runTool(folder.path(), "--all --tolerance 12");
  const ToolRun reference = runTool(folder.path(), "--all --tolerance 12 --reference");
  ASSERT_EQ(fast.exitCode, 0) << fast.errors;
  ASSERT_EQ(reference.exitCode, 0) << reference.errors;
  ASSERT_EQ(fast.lines.size(), 5u);
  ASSERT_EQ(reference.lines.size(), fast.lines.size());
  for (std::size_t i = 0; i + 1 < fast.lines.size(); ++i) {
    for (const char* key :
         {"index", "file", "matchFound", "matchX", "matchY", "matchAngle", "matchAngleDeg"}) {
      EXPECT_EQ(field(reference.lines[i], key), field(fast.lines[i], key)) << key << " of line " << i;
    }
  }
  EXPECT_EQ(field(fast.lines[1], "matchFound"), true);
  EXPECT_EQ(field(reference.lines[4], "matches"), 2);
}

TEST_F(SearchTool, DistractorsOnlyFindNothing) {
  writeDistractors({0, 1, 2});
  const ToolRun run = runTool(folder.path(), "--human");
  EXPECT_EQ(run.exitCode, 1) << run.errors;
  ASSERT_EQ(run.lines.size(), 4u);
  EXPECT_NE(run.lines[0].find("no match"), std::string::npos) << run.lines[0];
  EXPECT_NE(run.lines[3].find("3 pictures scanned, 0 with a match"), std::string::npos) << run.lines[3];
}

TEST_F(SearchTool, OptionsReplaceTheWorkingFolderLayout) {
  // Everything named explicitly, from another working folder, no parameters
  // file: the viewfinder comes from the command line.
  writeDistractors({0});
  writeMatch(1);
  fs::rename(folder / "Image_Archive", folder / "pics");
  fs::rename(folder / "pics/Current_Image.jpg", folder / "query.jpg");
  fs::remove_all(folder / "res");
  fs::create_directories(folder / "elsewhere");
  const ToolRun run = runTool(folder / "elsewhere",
                              "--archive ../pics --query ../query.jpg --viewfinder 100,75,40 "
                              "--filter-radius 8 --tolerance 8");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_EQ(field(run.lines[1], "file"), "../pics/Image_0000000001.jpg");
  expectTheTurnedRegion(run.lines[1]);
}

TEST_F(SearchTool, EveryBadInputIsOneLineAndExitTwo) {
  writeDistractors({0, 1});
  struct Case {
    const char* what;
    std::string arguments;
    std::string message;
    bool asNobody = false;
  };
  writePicture("small.jpg", testing::texturedPicture(100, 80, 3));
  testing::writeTextFile(folder / "garbage.jpg", "not a picture");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
  fs::create_directories(folder / "folder");
  fs::copy_file(folder / "Image_Archive/Current_Image.jpg", folder / "locked.jpg");
  fs::permissions(folder / "locked.jpg", fs::perms::none);
  fs::permissions(folder.path(), fs::perms::all);
  const Case cases[] = {
      {"missing folder", "--archive nowhere", "archive folder 'nowhere' not found"},
      {"missing query", "--query none.jpg", "query picture 'none.jpg' not found"},
      {"unreadable query", "--query garbage.jpg", "cannot decode query picture 'garbage.jpg'"},
      {"sizes differ", "--query small.jpg", "is 100x80 but archive picture 0 is 200x150"},
      {"viewfinder outside", "--viewfinder 40,75,40", "does not fit the 200x150 pictures"},
      {"viewfinder at the far edge", "--viewfinder 100,109,40", "does not fit"},
      {"out of range", "--tolerance 999", "--tolerance"},
      {"missing parameters file", "--parameters none.bin", "parameters file 'none.bin' not found"},
      {"parameters folder", "--parameters folder",
       "parameters file 'folder' cannot be read: not a regular file"},
      {"parameters FIFO", "--parameters fifo", "parameters file 'fifo' cannot be read: not a regular file"},
      {"query FIFO", "--query fifo", "cannot read query picture 'fifo': not a regular file"},
      {"query unreadable", "--query locked.jpg", "cannot read query picture 'locked.jpg': permission denied",
       true},
  };
  for (const Case& c : cases) {
    const ToolRun run = runTool(folder.path(), c.arguments, Output::File, c.asNobody);
    EXPECT_FALSE(run.timedOut) << c.what;
    EXPECT_EQ(run.exitCode, 2) << c.what;
    EXPECT_TRUE(run.lines.empty()) << c.what;
    EXPECT_EQ(run.errors.rfind("orvalis-search: ", 0), 0u) << c.what << ": " << run.errors;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.what << ": " << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << c.what << ": " << run.errors;
  }

  // A viewfinder exactly at the margin is fine.
  EXPECT_EQ(runTool(folder.path(), "--viewfinder 41,75,40").exitCode, 1);
  EXPECT_EQ(runTool(folder.path(), "--viewfinder 100,108,40").exitCode, 1);

  // A picture of another size, or a damaged one, stops the walk there.
  writePicture(archivePicturePath("Image_Archive", 2), testing::texturedPicture(100, 80, 3));
  ToolRun run = runTool(folder.path(), "");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.lines.size(), 2u);
  EXPECT_NE(run.errors.find("Image_0000000002.jpg' is 100x80 but the query picture is 200x150"),
            std::string::npos)
      << run.errors;
  testing::writeTextFile(folder / archivePicturePath("Image_Archive", 2), "damaged");
  run = runTool(folder.path(), "");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.errors.find("cannot decode archive picture"), std::string::npos) << run.errors;
  fs::remove(folder / archivePicturePath("Image_Archive", 2));
  ASSERT_EQ(::mkfifo((folder / archivePicturePath("Image_Archive", 2)).c_str(), 0644), 0);
  run = runTool(folder.path(), "");
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.lines.size(), 2u);
  EXPECT_NE(
      run.errors.find("cannot read archive picture 'Image_Archive/Image_0000000002.jpg': not a regular file"),
      std::string::npos)
      << run.errors;
}

TEST_F(SearchTool, OutputThatCantBeWrittenEndsAtOnceWithExitTwo) {
  // A full disk and a reader that went away (SIGPIPE ignored, so writes fail
  // with EPIPE) once ended with status 0 and the results lost.
  writeDistractors({0, 1, 2});
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
  writeDistractors({0, 1});
  fs::rename(folder / "Image_Archive", folder / "\xFF\xFE");
  const ToolRun run = runTool(folder.path(), "--archive $(printf '\\377\\376')");
  ASSERT_EQ(run.exitCode, 1) << run.errors;
  ASSERT_EQ(run.lines.size(), 3u);
  for (const std::string& line : run.lines) EXPECT_NO_THROW(nlohmann::json::parse(line)) << line;
  EXPECT_EQ(field(run.lines[1], "file"), "\uFFFD\uFFFD/Image_0000000001.jpg");
}

TEST_F(SearchTool, StoredViewfinderThatDoesNotFitIsReset) {
  // A stored viewfinder off the picture moves to the centre with radius
  // min(w, h) / 6 = 25: the search then runs around (100, 75) and the
  // distractors hold nothing.
  SearchParameters parameters = kDefaultParameters;
  parameters.colorTolerance = kTolerance;
  parameters.viewfinderX = 5;
  parameters.viewfinderY = 5;
  parameters.viewfinderRadius = 40;
  ASSERT_EQ(writeParametersFile(parameters, (folder / "res/Combo_Box_Parameters.bin").c_str()), 1);
  writeDistractors({0});
  writePicture(archivePicturePath("Image_Archive", 1), query);
  const ToolRun run = runTool(folder.path(), "");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_EQ(field(run.lines[1], "matchX"), 100);
  EXPECT_EQ(field(run.lines[1], "matchY"), 75);
  EXPECT_EQ(field(run.lines[1], "matchAngleDeg"), 0);
}

TEST(SearchToolTinyPictures, ViewfinderTooSmallToSearchIsAnError) {
  // 12 x 5 pictures: the reset radius is 5 / 6 = 0, whose inner rings would
  // hold no samples.
  testing::TempDir folder;
  const std::vector<std::uint8_t> jpeg = testing::encodeJpeg(testing::texturedPicture(12, 5, 1), 100);
  testing::writeFile(folder / "Image_Archive/Current_Image.jpg", jpeg);
  testing::writeFile(folder / archivePicturePath("Image_Archive", 0), jpeg);
  const ToolRun run = runTool(folder.path(), "");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.lines.empty());
  EXPECT_NE(run.errors.find("the viewfinder 6,2,0 is too small to search with"), std::string::npos)
      << run.errors;
}

TEST(SearchToolHelp, HelpAndVersionExplainThemselvesAndExitZero) {
  testing::TempDir folder;
  const std::pair<const char*, std::string> cases[] = {
      {"--help", "Usage: orvalis-search [options]"},
      {"--version", "orvalis-search " ORVALIS_VERSION},
  };
  for (const auto& [option, firstLine] : cases) {
    const ToolRun run = runTool(folder.path(), option);
    EXPECT_EQ(run.exitCode, 0) << option;
    ASSERT_FALSE(run.lines.empty()) << option;
    EXPECT_EQ(run.lines[0], firstLine);
  }
}

TEST(CheckViewfinder, KeepsAFittingOneAndResetsTheRest) {
  SearchParameters parameters;
  parameters.viewfinderX = 41;
  parameters.viewfinderY = 41;
  parameters.viewfinderRadius = 40;
  EXPECT_EQ(checkViewfinder(parameters, 320, 240), 1);
  EXPECT_EQ(parameters.viewfinderX, 41u);

  parameters.viewfinderY = 40;  // y - r = 0
  EXPECT_EQ(checkViewfinder(parameters, 320, 240), 0);
  EXPECT_EQ(parameters.viewfinderX, 160u);
  EXPECT_EQ(parameters.viewfinderY, 120u);
  EXPECT_EQ(parameters.viewfinderRadius, 40u);

  parameters.viewfinderRadius = 0;  // what a missing parameters file gives
  checkViewfinder(parameters, 640, 480);
  EXPECT_EQ(parameters.viewfinderX, 320u);
  EXPECT_EQ(parameters.viewfinderY, 240u);
  EXPECT_EQ(parameters.viewfinderRadius, 80u);

  // Portrait: w / 6. A square picture above 1500 a side would give more than
  // the ring profiles hold; the radius stops at 250.
  checkViewfinder(parameters, 300, 301);
  EXPECT_EQ(parameters.viewfinderRadius, 50u);
  parameters.viewfinderRadius = 0;
  checkViewfinder(parameters, 1517, 1517);
  EXPECT_EQ(parameters.viewfinderRadius, 250u);
}

}  // namespace
}  // namespace orvalis
