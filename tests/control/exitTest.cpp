// How the program ends, run as real processes in a temporary working folder:
// the exit code, exactly which scripts ran, and the save of the parameters.

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "control/saveParameters.h"
#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

namespace fs = std::filesystem;

using Exits = ControlTest;

TEST_F(Exits, EachFatalConditionRunsItsScriptsAndEndsTheProcess) {
  // Files are spoilt in a still-image folder of two pictures (camera mode:
  // no still query); the camera's fault strikes before start-up (-1) or
  // after the given number of ticks. A FIFO stands for every file that is
  // no regular file: opened the plain way it blocked start-up forever.
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
    installMarkerScripts(dir.path());
    // Scripts run through the shell: they need no execute bit.
    for (const auto& script : fs::directory_iterator(dir / "res")) {
      fs::permissions(script, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                      fs::perm_options::remove);
    }
    folder({distractor(1), distractor(2)}, c.camera ? std::nullopt : std::optional(queryPicture()));
    c.spoil(dir / c.file);
    const auto r = runInChild(dir.path(), [&] {
      if (c.faultAfter < 0) c.fault(camera, state());
      control().startUp();
      for (int tick = 0; tick < 3; ++tick) {
        if (tick == c.faultAfter) c.fault(camera, state());
        control().onTimerTick();
      }
      std::_Exit(state().filterRadius == kDefaultParameters.filterRadius ? 0 : 4);
    });
    EXPECT_FALSE(r.timedOut) << c.what;
    EXPECT_EQ(r.exitCode, c.exitCode) << c.what;
    EXPECT_EQ(scriptsRan(dir.path()), c.scripts) << c.what;
    // A started camera is released before the process ends.
    const bool started = c.scripts.count("Scanner_Mode") == 1;
    EXPECT_EQ(fs::exists(dir / "res/camera-released"), started && c.exitCode == 1) << c.what;
  }
}

TEST(ExitScripts, RunDetachedFromTheChosenFolderAndLeaveNoChild) {
  adoptOrphanedScripts();
  TempDir dir, chosen;
  installMarkerScripts(dir.path());
  // The notice script waits for the test: were it waited for, the child
  // would hang to its deadline.
  writeTextFile(chosen / "Scanner_Mode.sh",
                "while [ ! -e res/go ]; do sleep 0.01; done\n: > res/notice.ran\n");
  // The shell finds no command in the working folder through the PATH.
  writeTextFile(chosen / "Device_Lost.sh", "printf %s \"$PATH\" > res/lost.ran\n");
  const std::string folder = chosen.path().string();
  const auto r = runInChild(dir.path(), [&] {
    ::setenv("PATH", "bin::/usr/bin:.:/bin:", 1);
    ProcessExitPath exitPath(folder);
    exitPath.runScript(ExitScript::ScannerMode);
    // The script is no child of ours, so it can never become our zombie.
    if (::waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD) std::_Exit(4);
    exitPath.fail(ExitScript::DeviceLost);
  });
  writeTextFile(dir / "res/go", "");
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(scriptsRan(dir.path()), (Scripts{"lost", "notice"}));
  EXPECT_EQ(readFile(dir / "res/lost.ran"),
            (std::vector<std::uint8_t>{'/', 'u', 's', 'r', '/', 'b', 'i', 'n', ':', '/', 'b', 'i', 'n'}));
}

// The process exit path, ending with _Exit: a child forked from this threaded
// test program under a file-size limit never finishes LeakSanitizer's
// exit-time check.
class QuickExitPath final : public ExitPath {
 public:
  void runScript(ExitScript script) override { ProcessExitPath().runScript(script); }
  // Into memory shared with the parent: a file could not be written under a
  // file-size limit.
  explicit QuickExitPath(char* said = nullptr) : said_(said) {}
  void report(const std::string& message) override {
    if (said_ != nullptr) message.copy(said_, kSaidSize - 1);
  }
  static constexpr std::size_t kSaidSize = 4096;

 private:
  char* said_;
  [[noreturn]] void exitProcess(int code) override { std::_Exit(code); }
};

TEST(SaveParameters, WritesAllOrNothingAndEndsWithCodeOneOnAnyFailure) {
  // A save that fails part-way must not leave a short file (a 0-byte file
  // reads back as radius 0, tolerance 0, step 0): the old file stays as it
  // was, the process ends with code 1, says which file and runs no script.
  adoptOrphanedScripts();
  const std::vector<std::uint8_t> oldBytes(kParametersFileSize, 0x5A);
  const fs::path file = kParametersPath;
  char* said = static_cast<char*>(
      ::mmap(nullptr, QuickExitPath::kSaidSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(said, MAP_FAILED);
  for (const bool fullDisk : {true, false}) {
    SCOPED_TRACE(fullDisk ? "a full disk (file-size limit)" : "a read-only file (as a user, not root)");
    TempDir dir;
    installMarkerScripts(dir.path());
    writeFile(dir / file, oldBytes);
    std::fill(said, said + QuickExitPath::kSaidSize, '\0');
    if (!fullDisk) {
      fs::permissions(dir / file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      fs::permissions(dir.path(), fs::perms::all);
      fs::permissions(dir / "res", fs::perms::all);
    }
    const auto result = runInChild(dir.path(), [&] {
      const rlimit limit{10, 10};
      if (fullDisk && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)) {
        std::_Exit(97);
      }
      if (!fullDisk && !dropRootPrivileges()) std::_Exit(98);
      QuickExitPath exitPath(said);
      saveParameters({2, 3, 4, 5, 6, 7, 8}, exitPath, kParametersPath, nullptr, nullptr);
    });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(readFile(dir / file), oldBytes);
    EXPECT_NE(std::string(said).find(file.string() + ": "), std::string::npos) << said;
    for (const auto& entry : fs::directory_iterator(dir / "res")) {
      EXPECT_TRUE(entry.path().extension() == ".sh" || entry.path().filename() == file.filename())
          << "left behind " << entry.path();
    }
    EXPECT_EQ(scriptsRan(dir.path()), Scripts{});
  }
  ::munmap(said, QuickExitPath::kSaidSize);
}

}  // namespace
}  // namespace orvalis::testing
