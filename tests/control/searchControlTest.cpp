// The search control with a fake window and camera; exits in child processes.

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <thread>

#include "control/saveParameters.h"
#include "control/searchControl.h"
#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/fakes.h"
#include "tests/support/workingFolder.h"

// Operator new counted while asked, to pin the search path as allocation-free;
// the sanitizers bring their own allocator, so not there. It pairs with free
// through malloc, which g++ cannot see across the inlined standard containers.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<bool> counting{false};
std::atomic<long> newCalls{0};
}  // namespace
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kCountsAllocations = false;
#else
constexpr bool kCountsAllocations = true;
void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) newCalls.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#endif

namespace orvalis::testing {
namespace {

namespace fs = std::filesystem;

// Small pictures keep the matcher quick; busy enough that a distractor holds no region of the query.
constexpr std::uint32_t kWidth = 160, kHeight = 120;
BgrPicture queryPicture() {
  return texturedPicture(kWidth, kHeight, 1, 3.0);
}
BgrPicture distractor(std::uint32_t seed) {
  return texturedPicture(kWidth, kHeight, 100 + seed, 3.0);
}

// The scripts that ran (res/*.ran), once all have ended (adopted as orphans).
using Scripts = std::set<std::string>;
Scripts scriptsRan(const fs::path& folder) {
  for (int i = 0; i < 4000 && ::waitpid(-1, nullptr, WNOHANG) >= 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Scripts ran;
  if (::waitpid(-1, nullptr, WNOHANG) == 0) ran.insert("(still running)");
  std::error_code noFolder;
  for (const auto& entry : fs::directory_iterator(folder / "res", noFolder)) {
    if (entry.path().extension() == ".ran") ran.insert(entry.path().stem().string());
  }
  return ran;
}

// Leaves a file behind when released, which outlives a child's exit.
class NotingCamera : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  void stop() override {
    FakeCamera::stop();
    writeTextFile("res/camera-released", "");
  }
};

class ControlTest : public ::testing::Test {
 protected:
  ControlTest() : cwd_(dir.path()) {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    WorkingFolder(dir.path()).markerScripts();
  }

  // The backdrop, the archive and the still query (none: camera mode).
  void folder(const std::vector<BgrPicture>& archive,
              const std::optional<BgrPicture>& still = queryPicture()) {
    WorkingFolder(dir.path()).backdrop().archive(archive);
    if (still) WorkingFolder(dir.path()).still(*still);
  }

  SearchControl& control() {
    if (!control_) control_ = std::make_unique<SearchControl>(*ws, window, camera, exitPath);
    return *control_;
  }
  SearchState& state() { return ws->state; }

  TempDir dir;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  FakeWindow window;
  NotingCamera camera{{queryPicture()}};
  ProcessExitPath exitPath;

 private:
  ScopedWorkingDirectory cwd_;
  std::unique_ptr<SearchControl> control_;
};

using StartUp = ControlTest;

TEST_F(StartUp, StoredViewfinderIsKeptOnTheBoundaryAndResetBeyondIt) {
  struct Case {
    const char* what;
    std::uint32_t width, height, x, y, r;  // archive size, stored viewfinder
    std::uint32_t newX, newY, newR, landscape;
  };
  const Case cases[] = {
      {"top margin 1, right edge at w - 2", 160, 120, 138, 21, 20, 138, 21, 20, 1},
      {"left margin 1, bottom edge at h - 2", 160, 120, 21, 98, 20, 21, 98, 20, 1},
      {"top margin 0", 160, 120, 138, 20, 20, 80, 60, 20, 1},
      {"left margin 0", 160, 120, 20, 98, 20, 80, 60, 20, 1},
      {"right edge at w - 1", 160, 120, 139, 21, 20, 80, 60, 20, 1},
      {"bottom edge at h - 1", 160, 120, 21, 99, 20, 80, 60, 20, 1},
      {"radius 0", 160, 120, 80, 60, 0, 80, 60, 20, 1},
      {"none, landscape", 640, 480, 0, 0, 0, 320, 240, 80, 1},
      {"none, square", 90, 90, 0, 0, 0, 45, 45, 15, 1},
      {"none, portrait", 96, 150, 0, 0, 0, 48, 75, 16, 0},
      {"none, at most 250", 1517, 1517, 0, 0, 0, 758, 758, 250, 1},
  };
  for (const Case& c : cases) {
    const BgrPicture picture = solidPicture(c.width, c.height, 1, 1, 1);
    folder({picture}, picture);
    ASSERT_EQ(writeParametersFile({1, 8, 16, 25, c.y, c.x, c.r}, "res/Combo_Box_Parameters.bin"), 1);
    auto fresh = std::make_unique<Workspace>();
    SearchControl(*fresh, window, camera, exitPath).startUp();
    const SearchState& s = fresh->state;
    EXPECT_EQ((std::array{s.viewfinderX, s.viewfinderY, s.viewfinderRadius, std::uint32_t(s.landscape)}),
              (std::array{c.newX, c.newY, c.newR, c.landscape}))
        << c.what;
  }
}

// A close that arrives while the window processes events during the wait.
class ClosedDuringWait : public FakeCamera {
 public:
  std::function<void()> duringWait;
  int interrupts = 0;
  bool currentFrame(RawFrame&) override {
    duringWait();
    return false;  // the wait was interrupted
  }
  void interruptWait() override { ++interrupts; }
};

TEST_F(StartUp, ACloseDuringTheFirstFrameWaitRunsOnceStartUpIsThrough) {
  folder({queryPicture()}, std::nullopt);
  const int code = runInChild(dir.path(), [&] {
    ClosedDuringWait waiting;
    SearchControl held(*ws, window, waiting, exitPath);
    waiting.duringWait = [&] { held.closeApplication(); };
    held.startUp();
    // Not Device_Lost: the close ran after start-up, once, and left no timer.
    std::_Exit(window.ended && waiting.stops == 1 && waiting.interrupts == 1 && !window.timerRunning ? 0 : 3);
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(scriptsRan(dir.path()), Scripts{"Scanner_Mode"});
}

using TimerCycle = ControlTest;

TEST_F(TimerCycle, StillWalkScansEachPictureRescansTheLastOnceThenStops) {
  // Picture 3 is refused: the walk ends there with one line naming it.
  folder({distractor(1), distractor(2), distractor(3)});
  writeFile(dir / "Image_Archive/Image_0000000003.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0, 0x43, 1, 2, 3});
  control().startUp();
  ::testing::internal::CaptureStderr();
  for (const int expected : {0, 1, 2, 2, 2, 2}) {
    control().onTimerTick();
    EXPECT_EQ(state().archiveIndex, expected);
  }
  EXPECT_EQ(
      ::testing::internal::GetCapturedStderr(),
      "orvalis: archive picture 'Image_Archive/Image_0000000003.jpg' refused: damaged (Premature end of "
      "JPEG file)\n");
  EXPECT_EQ(state().archiveExhausted, 1);
  EXPECT_EQ(window.paints, 4);  // exhausted ticks draw nothing
  EXPECT_EQ(state().matchFound, 0);

  control().enterAdjustMode();
  EXPECT_EQ(state().archiveExhausted, 0);
  control().onTimerTick();  // adjust ticks redraw, and walk nowhere
  EXPECT_EQ(window.paints, 5);
  control().startNewSearch();
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 0);
}

TEST_F(TimerCycle, CameraWalkStartsOverWithAFreshFrameAndTemplate) {
  folder({distractor(1), distractor(2)}, std::nullopt);
  camera = NotingCamera({distractor(40), distractor(41), distractor(42), distractor(43)});
  control().startUp();
  control().enterAdjustMode();
  control().onTimerTick();  // adjust ticks grab a fresh frame, and walk nowhere
  EXPECT_EQ(camera.grabs, 2);
  EXPECT_EQ(state().archiveIndex, -2);
  control().startNewSearch();
  double templateOfWalk = 0;
  for (const auto& [index, grabs] : std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {0, 4}, {1, 4}}) {
    control().onTimerTick();
    EXPECT_EQ(state().archiveIndex, index);
    EXPECT_EQ(camera.grabs, grabs);
    EXPECT_EQ(state().templateRingMean[8] == templateOfWalk, index == 1) << "a fresh template only at 0";
    templateOfWalk = state().templateRingMean[8];
  }
}

class Commands : public ControlTest {
 protected:
  void SetUp() override {
    folder({solidPicture(640, 480, 50, 50, 50)}, solidPicture(640, 480, 50, 50, 50));
    control().startUp();
    control().enterAdjustMode();
  }
};

TEST_F(Commands, ViewfinderCommandsAdmitEqualityAtEveryLimitAndSaveEitherWay) {
  struct Case {
    const char* what;
    void (SearchControl::*command)();
    std::uint32_t x, y, r, step, newX, newY, newR;  // on a 640 x 480 picture
  };
  const Case cases[] = {
      {"up to a margin of 1", &SearchControl::moveViewfinderUp, 320, 61, 50, 10, 320, 51, 50},
      {"up to a margin of 0", &SearchControl::moveViewfinderUp, 320, 60, 50, 10, 320, 60, 50},
      {"down to h - 2", &SearchControl::moveViewfinderDown, 320, 398, 70, 10, 320, 408, 70},
      {"down to h", &SearchControl::moveViewfinderDown, 320, 400, 70, 10, 320, 400, 70},
      {"left to a margin of 1", &SearchControl::moveViewfinderLeft, 61, 240, 50, 10, 51, 240, 50},
      {"left to a margin of 0", &SearchControl::moveViewfinderLeft, 60, 240, 50, 10, 60, 240, 50},
      {"right to w - 2", &SearchControl::moveViewfinderRight, 578, 240, 50, 10, 588, 240, 50},
      {"right to w - 1", &SearchControl::moveViewfinderRight, 579, 240, 50, 10, 579, 240, 50},
      // A move checks only the side it moves towards.
      {"left while over the top", &SearchControl::moveViewfinderLeft, 320, 45, 50, 10, 310, 45, 50},
      {"grow to a margin of 1", &SearchControl::growViewfinder, 320, 229, 178, 50, 320, 229, 228},
      {"grow past the picture", &SearchControl::growViewfinder, 320, 251, 200, 50, 320, 251, 200},
      {"grow past 250, not cut down", &SearchControl::growViewfinder, 320, 240, 240, 25, 320, 240, 240},
      {"shrink to 40", &SearchControl::shrinkViewfinder, 320, 240, 50, 10, 320, 240, 40},
      {"shrink below 40", &SearchControl::shrinkViewfinder, 320, 240, 45, 10, 320, 240, 45},
  };
  for (const Case& c : cases) {
    state().viewfinderX = c.x;
    state().viewfinderY = c.y;
    state().viewfinderRadius = c.r;
    state().viewfinderStep = c.step;
    fs::remove(kParametersPath);
    const std::vector<std::uint8_t> before(ws->images.queryImage.data(),
                                           ws->images.queryImage.data() + 640 * 480 * 3);
    (control().*c.command)();
    const std::vector<std::uint32_t> expected = {c.newX, c.newY, c.newR};
    EXPECT_EQ(
        std::vector<std::uint32_t>({state().viewfinderX, state().viewfinderY, state().viewfinderRadius}),
        expected)
        << c.what;
    SearchParameters saved;
    EXPECT_EQ(loadParameters(saved), FileStatus::Ok) << c.what;
    EXPECT_EQ(saved, SearchParameters(state())) << c.what;
    // An admitted step redraws the glyph; a refused one draws nothing.
    const bool admitted = expected != std::vector<std::uint32_t>{c.x, c.y, c.r};
    EXPECT_EQ(!std::equal(before.begin(), before.end(), ws->images.queryImage.data()), admitted) << c.what;
  }
}

TEST_F(Commands, ParameterCommandsTakeEffectWithANewSearch) {
  // Which control saves what is the window's test.
  control().selectFramesPerSecond(128);
  control().selectFilterRadius(1);
  EXPECT_EQ(window.timerPeriod, kAdjustTimerPeriod);
  control().startNewSearch();
  EXPECT_EQ(window.timerPeriod, 7u);
  EXPECT_EQ(ws->images.discMaskCount, 5u);  // radius 1: the new filter was built
  control().selectFramesPerSecond(5000);
  control().startNewSearch();
  EXPECT_EQ(window.timerPeriod, 1u);  // never a zero period
}

using Exits = ControlTest;

TEST_F(Exits, EachFatalConditionRunsItsScriptsAndEndsTheProcess) {
  // One file spoilt; the camera's fault strikes before start-up (-1) or at a tick.
  using Spoil = void (*)(const fs::path&);
  const Spoil keep = [](const fs::path&) {};
  const Spoil remove = [](const fs::path& f) { fs::remove_all(f); };
  const Spoil fifo = [](const fs::path& f) { fs::remove(f), ::mkfifo(f.c_str(), 0644); };
  const Spoil garbage = [](const fs::path& f) { writeFile(f, {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}); };
  const Spoil resized = [](const fs::path& f) { writeFile(f, encodeJpeg(texturedPicture(164, 120, 2))); };
  const Spoil query = [](const fs::path& f) { writeFile(f, encodeJpeg(queryPicture(), 100)); };
  using Fault = void (*)(FakeCamera&, const SearchState&);
  const Fault none = [](FakeCamera&, const SearchState&) {};
  const Fault noStart = [](FakeCamera& k, const SearchState&) { k.failStart = true; };
  const Fault noFrame = [](FakeCamera& k, const SearchState&) { k.failGrab = true; };
  const Fault tooLarge = [](FakeCamera& k, const SearchState&) {
    k = FakeCamera({solidPicture(1921, 1200, 0, 0, 0)});
  };
  const Fault lostOnStop = [](FakeCamera& k, const SearchState& s) { k.failStream = s.searchStopped == 1; };
  const char *backdrop = "res/Dark_Gray_Square.jpg", *picture0 = "Image_Archive/Image_0000000000.jpg",
             *picture1 = "Image_Archive/Image_0000000001.jpg", *still = "Image_Archive/Current_Image.jpg";
  const Scripts noScript, missing = {"Missing_Resources"}, mismatch = {"Current_Database_Mismatch"},
                          notice = {"Scanner_Mode"}, lost = {"Scanner_Mode", "Device_Lost"},
                          cameraMismatch = {"Scanner_Mode", "Scanner_Database_Mismatch"};
  struct Case {
    const char* what;
    bool camera;
    const char* file;
    Spoil spoil;
    Fault fault;
    int faultAfter;
    int exitCode;
    Scripts scripts;
  };
  const Case cases[] = {
      {"backdrop missing", false, backdrop, remove, none, -1, 1, missing},
      {"picture 0 missing", false, picture0, remove, none, -1, 1, missing},
      {"no res folder: no script, code 1", false, "res", remove, none, -1, 1, noScript},
      {"parameters a FIFO: the defaults", false, "res/Combo_Box_Parameters.bin", fifo, none, -1, 0, noScript},
      {"still query of another size", false, still, resized, none, -1, 1, mismatch},
      {"still walk meets another size", false, picture1, resized, none, -1, 1, mismatch},
      {"undecodable still query: camera mode", false, still, garbage, none, -1, 0, notice},
      {"still query a FIFO, camera won't start", false, still, fifo, noStart, -1, 1, lost},
      {"first frame can't be grabbed", true, still, keep, noFrame, -1, 1, lost},
      {"first frame too large", true, still, keep, tooLarge, -1, 1, lost},
      {"frame lost at the walk's restart", true, still, keep, noFrame, 0, 1, lost},
      {"camera lost after a match stopped the search", true, picture0, query, lostOnStop, 1, 1, lost},
      {"camera walk meets another size", true, picture0, resized, none, -1, 1, cameraMismatch},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "res");
    fs::remove_all(dir / "Image_Archive");
    WorkingFolder(dir.path()).markerScripts();
    // Scripts run through the shell: they need no execute bit.
    for (const auto& script : fs::directory_iterator(dir / "res")) fs::permissions(script, fs::perms(0644));
    folder({distractor(1), distractor(2)}, c.camera ? std::nullopt : std::optional(queryPicture()));
    c.spoil(dir / c.file);
    const int code = runInChild(dir.path(), [&] {
      if (c.faultAfter < 0) c.fault(camera, state());
      control().startUp();
      for (int tick = 0; tick < 3; ++tick) {
        if (tick == c.faultAfter) c.fault(camera, state());
        control().onTimerTick();
      }
      std::_Exit(state().filterRadius == kDefaultParameters.filterRadius ? 0 : 4);
    });
    EXPECT_EQ(code, c.exitCode) << c.what;
    EXPECT_EQ(scriptsRan(dir.path()), c.scripts) << c.what;
    const bool started = c.scripts.count("Scanner_Mode") == 1;
    EXPECT_EQ(fs::exists(dir / "res/camera-released"), started && c.exitCode == 1) << c.what;
  }
}

TEST_F(Exits, ScriptsRunDetachedFromTheChosenFolderAndLeaveNoChild) {
  TempDir chosen;
  // The notice script waits for the test: were it waited for, the child hangs.
  writeTextFile(chosen / "Scanner_Mode.sh",
                "while [ ! -e res/go ]; do sleep 0.01; done\n: > res/notice.ran\n");
  // The shell finds no command in the working folder through the PATH.
  writeTextFile(chosen / "Device_Lost.sh", "printf %s \"$PATH\" > res/lost.ran\n");
  const std::string folder = chosen.path().string();
  const int code = runInChild(dir.path(), [&] {
    ::setenv("PATH", "bin::/usr/bin:.:/bin:", 1);
    ProcessExitPath chosenPath(folder);
    chosenPath.runScript(ExitScript::ScannerMode);
    // The script is no child of ours, so it can never become our zombie.
    if (::waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD) std::_Exit(4);
    chosenPath.fail(ExitScript::DeviceLost);
  });
  writeTextFile(dir / "res/go", "");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(scriptsRan(dir.path()), (Scripts{"lost", "notice"}));
  EXPECT_EQ(readTextFile(dir / "res/lost.ran"), "/usr/bin:/bin");
}

// Exits with _Exit (LeakSanitizer hangs under a file-size limit); says into shared memory.
class QuickExitPath final : public ExitPath {
 public:
  void runScript(ExitScript script) override { ProcessExitPath().runScript(script); }
  explicit QuickExitPath(char* said) : said_(said) {}
  void report(const std::string& message) override { message.copy(said_, kSaidSize - 1); }
  static constexpr std::size_t kSaidSize = 4096;

 private:
  char* said_;
  [[noreturn]] void exitProcess(int code) override { std::_Exit(code); }
};

using SaveParameters = ControlTest;

TEST_F(SaveParameters, WritesAllOrNothingAndEndsWithCodeOneOnAnyFailure) {
  // The old file stays as it was; code 1, the file named, no script.
  const std::vector<std::uint8_t> oldBytes(kParametersFileSize, 0x5A);
  const fs::path file = kParametersPath;
  char* said = static_cast<char*>(
      ::mmap(nullptr, QuickExitPath::kSaidSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(said, MAP_FAILED);
  for (const bool fullDisk : {true, false}) {
    SCOPED_TRACE(fullDisk ? "a full disk (file-size limit)" : "a read-only file (as a user, not root)");
    writeFile(dir / file, oldBytes);
    std::fill(said, said + QuickExitPath::kSaidSize, '\0');
    if (!fullDisk) {
      fs::permissions(dir / file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      fs::permissions(dir.path(), fs::perms::all);
      fs::permissions(dir / "res", fs::perms::all);
    }
    const int code = runInChild(dir.path(), [&] {
      const rlimit limit{10, 10};
      if (fullDisk && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)) {
        std::_Exit(97);
      }
      if (!fullDisk && !dropRootPrivileges()) std::_Exit(98);
      QuickExitPath quickPath(said);
      saveParameters({2, 3, 4, 5, 6, 7, 8}, quickPath, kParametersPath, nullptr, nullptr);
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(readFile(dir / file), oldBytes);
    EXPECT_NE(std::string(said).find(file.string() + ": "), std::string::npos) << said;
    EXPECT_EQ(scriptsRan(dir.path()), Scripts{});
  }
  ::munmap(said, QuickExitPath::kSaidSize);
}

using Allocation = ControlTest;

TEST_F(Allocation, LongRunsAllocateNothingAndKeepTheHeapAndDescriptorsFlat) {
  if (!kCountsAllocations) GTEST_SKIP() << "allocation counting is off under sanitizers";
  constexpr std::uint32_t w = 72, h = 54;
  const auto descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto heap = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };  // large blocks are mapped
  // Camera ticks, plain, across sizes and under other light (each with copies, a score and turns
  // limited); still-image cycles of adjust, a move, a parameter, a search.
  const SearchProfile sizes{3, 50.0, true, 10, 350, 0.8, 1.25, false, true},
      light{3, 50.0, true, 10, 350, 1, 1, true, true};
  for (const auto& [still, profile] :
       {std::pair{false, SearchProfile{}}, {false, sizes}, {false, light}, {true, SearchProfile{}}}) {
    SCOPED_TRACE(std::string(still ? "still-image cycles" : "camera ticks") +
                 (profile.given ? " with options" : ""));
    folder({texturedPicture(w, h, 7), texturedPicture(w, h, 8), texturedPicture(w, h, 9)},
           still ? std::optional(texturedPicture(w, h, 20)) : std::nullopt);
    camera = NotingCamera({texturedPicture(w, h, 20), texturedPicture(w, h, 21)});
    ws = std::make_unique<Workspace>();
    ws->profile = profile;
    SearchControl control(*ws, window, camera, exitPath);
    control.startUp();
    ASSERT_EQ(ws->state.cameraMode, still ? 0 : 1);
    const auto step = [&](int i) {
      control.onTimerTick();
      if (!still || i % 10 != 9) return;
      control.enterAdjustMode();
      control.onTimerTick();
      (i / 10) % 2 == 0 ? control.moveViewfinderRight() : control.moveViewfinderLeft();
      control.selectColorTolerance((i / 10) % 2 == 0 ? 14 : 16);
      control.startNewSearch();
    };
    for (int i = 0; i < 20; ++i) step(i);  // first decodes size the loader's buffer

    // libjpeg-turbo's memory per picture is returned at its end: the heap comes back level.
    const long descriptorsBefore = descriptors(), allocationsBefore = newCalls.load();
    const std::size_t heapBefore = heap();
    counting = !still;  // commands may allocate, and free what they took
    for (int i = 20; i < 2020; ++i) step(i);
    counting = false;
    EXPECT_EQ(newCalls.load(), allocationsBefore) << "C++ allocations on the search path";
    EXPECT_LE(heap(), heapBefore) << "heap in use grew over the run";
    EXPECT_EQ(descriptors(), descriptorsBefore);
    EXPECT_EQ(ws->state.searchStopped, 0);  // no match: the walk went round and round
    EXPECT_TRUE(still || camera.grabs > 400) << camera.grabs << " grabs";
  }
}

}  // namespace
}  // namespace orvalis::testing
