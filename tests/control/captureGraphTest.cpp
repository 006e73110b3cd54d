#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/captureGraph.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using namespace std::chrono_literals;
using Log = std::vector<std::string>;

// Serves one prepared frame; every call is written to a shared log, in order
// with the exit path's, so tests see what happened before the exit.
class FakeSource final : public FrameSource {
 public:
  explicit FakeSource(Log& log) : log_(log) {}
  bool startSucceeds = true;
  bool hasFrame = true;
  bool failed = false;
  RawFrame frame;

  bool start() override {
    log_.push_back("start");
    return startSucceeds;
  }
  bool currentFrame(RawFrame& out) override {
    log_.push_back("frame");
    if (hasFrame) out = frame;
    return hasFrame;
  }
  bool streamFailed() override {
    log_.push_back("poll");
    return failed;
  }
  void stop() override { log_.push_back("stop"); }

 private:
  Log& log_;
};

struct ProcessEnded {
  int code;
};

// Records the script and ends "the process" by unwinding to the test.
class RecordingExitPath final : public ExitPath {
 public:
  explicit RecordingExitPath(Log& log) : log_(log) {}
  void runScript(ExitScript script) override { log_.push_back(exitScriptPath(script)); }
  [[noreturn]] void exitProcess(int code) override {
    log_.push_back("exit " + std::to_string(code));
    throw ProcessEnded{code};
  }

 private:
  Log& log_;
};

class CaptureGraph : public ::testing::Test {
 protected:
  Log log;
  FakeSource source{log};
  RecordingExitPath exitPath{log};
  std::unique_ptr<Workspace> workspace = std::make_unique<Workspace>();
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(4 * 8 * 6, 0x40);

  void SetUp() override { source.frame = RawFrame{8, 6, 32, 32, pixels.data()}; }

  // The fatal path as it must look after the listed source calls.
  static Log deviceLostAfter(Log calls) {
    calls.insert(calls.end(), {"stop", "res/Device_Lost.sh", "exit 1"});
    return calls;
  }
};

TEST_F(CaptureGraph, WorkingSourceIsStartedGrabbedPolledAndReleased) {
  buildCaptureGraph(source, exitPath);
  grabFrame(*workspace, source, exitPath);
  pollMediaEvents(source, exitPath);
  pollMediaEvents(source, exitPath);
  releaseCaptureGraph(source);
  releaseCaptureGraph(source);
  EXPECT_EQ(log, (Log{"start", "frame", "poll", "poll", "stop", "stop"}));
  EXPECT_EQ(workspace->state.queryWidth, 8u);
  EXPECT_EQ(workspace->state.queryHeight, 6u);
  EXPECT_EQ(workspace->images.queryImage[0], 0x40);
}

TEST_F(CaptureGraph, EveryFailureReleasesTheSourceThenRunsDeviceLost) {
  source.startSucceeds = false;
  EXPECT_THROW(buildCaptureGraph(source, exitPath), ProcessEnded);
  EXPECT_EQ(log, deviceLostAfter({"start"}));

  log.clear();
  source.hasFrame = false;
  EXPECT_THROW(grabFrame(*workspace, source, exitPath), ProcessEnded);
  EXPECT_EQ(log, deviceLostAfter({"frame"}));

  log.clear();
  source.failed = true;
  EXPECT_THROW(pollMediaEvents(source, exitPath), ProcessEnded);
  EXPECT_EQ(log, deviceLostAfter({"poll"}));
}

// The same failures as real process exits through the real exit path.
TEST(CaptureGraphExit, FailuresEndTheProcessWithDeviceLostAndCodeOne) {
  const std::vector<std::pair<const char*, std::function<void(FakeSource&)>>> failures = {
      {"build", [](FakeSource& s) { s.startSucceeds = false; }},
      {"no frame", [](FakeSource& s) { s.hasFrame = false; }},
      {"oversized frame",
       [](FakeSource& s) {
         s.frame = RawFrame{1921, 1200, 32, 4 * 1921, s.frame.rows};
       }},
      {"stream failed", [](FakeSource& s) { s.failed = true; }},
  };
  for (const auto& [name, breakIt] : failures) {
    testing::TempDir dir;
    testing::installMarkerScripts(dir.path());
    const auto result = testing::runInChild(dir.path(), [&breakIt] {
      Log log;
      FakeSource source(log);
      std::vector<std::uint8_t> pixels(4 * 4 * 4);  // an oversized frame is refused unread
      source.frame = RawFrame{4, 4, 32, 16, pixels.data()};
      breakIt(source);
      auto workspace = std::make_unique<Workspace>();
      ProcessExitPath exitPath;
      buildCaptureGraph(source, exitPath);
      grabFrame(*workspace, source, exitPath);
      pollMediaEvents(source, exitPath);
      std::_Exit(0);  // survived: the test fails on the exit code
    });
    EXPECT_TRUE(result.exited) << name;
    EXPECT_EQ(result.exitCode, 1) << name;
    EXPECT_TRUE(testing::waitForFile(dir / "res/Device_Lost.ran")) << name;
    EXPECT_EQ(testing::scriptsThatRan(dir.path()), "Device_Lost") << name;
  }
}

TEST(CaptureGraphExit, WorkingSourceRunsNoScript) {
  testing::TempDir dir;
  testing::installMarkerScripts(dir.path());
  const auto result = testing::runInChild(dir.path(), [] {
    Log log;
    FakeSource source(log);
    std::vector<std::uint8_t> pixels(4 * 4 * 4);
    source.frame = RawFrame{4, 4, 32, 16, pixels.data()};
    auto workspace = std::make_unique<Workspace>();
    ProcessExitPath exitPath;
    buildCaptureGraph(source, exitPath);
    grabFrame(*workspace, source, exitPath);
    pollMediaEvents(source, exitPath);
    releaseCaptureGraph(source);
  });
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exitCode, 0);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(testing::scriptsThatRan(dir.path()), "");
}

}  // namespace
}  // namespace orvalis
