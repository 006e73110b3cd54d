// How the program ends, run as real processes in a temporary working folder:
// the exit code, exactly which scripts ran, and the save of the parameters.

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
  // A FIFO stands for every file that is no regular file: opened the plain
  // way it blocked start-up forever, hence the child's deadline.
  const auto fifo = [](const fs::path& file) {
    fs::remove(file);
    ::mkfifo(file.c_str(), 0644);
  };
  const fs::path backdrop = "res/Dark_Gray_Square.jpg", still = "Image_Archive/Current_Image.jpg";
  const auto start = [&] {
    control().startUp();
    return 5;  // still running: no exit was taken
  };
  const auto tick = [&](int ticks) {
    return [this, ticks] {
      control().startUp();
      for (int i = 0; i < ticks; ++i) control().onTimerTick();
      return 5;
    };
  };
  const std::vector<std::string> lost = {"Scanner_Mode", "Device_Lost"};
  struct Case {
    const char* what;
    std::function<void()> prepare;  // in the empty folder
    std::function<int()> drive;     // in the child; returns the code to end with
    int exitCode;
    std::vector<std::string> scripts;
  };
  const Case cases[] = {
      {"backdrop missing",
       [&] { folder({distractor(1)}), fs::remove(backdrop); },
       start,
       1,
       {"Missing_Resources"}},
      {"backdrop a FIFO", [&] { folder({distractor(1)}), fifo(backdrop); }, start, 1, {"Missing_Resources"}},
      {"picture 0 missing, its script not executable: run through the shell",
       [&] {
         folder({});
         fs::permissions(dir / "res/Missing_Resources.sh", fs::perms::owner_read | fs::perms::owner_write);
       },
       start,
       1,
       {"Missing_Resources"}},
      {"no res folder: no script, code 1",
       [&] { fs::remove_all(dir / "res"), writeArchive({queryPicture()}); },
       start,
       1,
       {}},
      {"parameters a FIFO: the defaults",
       [&] { folder({distractor(1)}), fifo("res/Combo_Box_Parameters.bin"); },
       [&] {
         control().startUp();
         return state().filterRadius == kDefaultParameters.filterRadius ? 0 : 4;
       },
       0,
       {}},
      {"still query of another size",
       [&] { folder({texturedPicture(kWidth + 2, kHeight, 2)}); },
       start,
       1,
       {"Current_Database_Mismatch"}},
      {"still walk meets another size",
       [&] {
         folder({distractor(1), texturedPicture(kWidth, kHeight + 4, 2)});
       },
       tick(5),
       1,
       {"Current_Database_Mismatch"}},
      {"undecodable still query: camera mode",
       [&] {
         folder({distractor(1)}), writeFile(dir / still, {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
       },
       [&] {
         control().startUp();
         return state().cameraMode == 1 && state().queryWidth == kWidth && camera.grabs == 1 ? 0 : 4;
       },
       0,
       {"Scanner_Mode"}},
      {"still query a FIFO, camera won't start", [&] { folder({distractor(1)}), fifo(still); },
       [&] {
         camera.failStart = true;
         return start();
       },
       1, lost},
      {"first frame can't be grabbed", [&] { folder({distractor(1)}, false); },
       [&] {
         camera.failGrab = true;
         return start();
       },
       1, lost},
      {"first frame too large", [&] { folder({distractor(1)}, false); },
       [&] {
         camera = NotingCamera({solidPicture(1921, 1200, 9, 9, 9)});
         return start();
       },
       1, lost},
      {"frame lost at the walk's restart", [&] { folder({distractor(1)}, false); },
       [&] {
         control().startUp();
         camera.failGrab = true;
         control().onTimerTick();
         return 5;
       },
       1, lost},
      {"camera lost after a match stopped the search", [&] { folder({queryPicture()}, false); },
       [&] {
         control().startUp();
         control().onTimerTick();
         camera.failStream = state().searchStopped == 1;
         control().onTimerTick();
         return 5;
       },
       1, lost},
      {"camera walk meets another size",
       [&] { folder({texturedPicture(kWidth + 4, kHeight, 2)}, false); },
       tick(1),
       1,
       {"Scanner_Mode", "Scanner_Database_Mismatch"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "res");
    fs::remove_all(dir / "Image_Archive");
    installMarkerScripts(dir.path());
    c.prepare();
    const auto r = runInChild(dir.path(), [&] { std::_Exit(c.drive()); });
    EXPECT_FALSE(r.timedOut) << c.what;
    EXPECT_EQ(r.exitCode, c.exitCode) << c.what;
    EXPECT_TRUE(onlyScriptsRan(dir.path(), c.scripts)) << c.what;
    // A started camera is released before the process ends.
    const bool started = std::count(c.scripts.begin(), c.scripts.end(), "Scanner_Mode") == 1;
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
  writeTextFile(chosen / "Device_Lost.sh", ": > res/lost.ran\n");
  const std::string folder = chosen.path().string();
  const auto r = runInChild(
      dir.path(),
      [&] {
        ProcessExitPath exitPath(folder);
        exitPath.runScript(ExitScript::ScannerMode);
        // The script is no child of ours, so it can never become our zombie.
        if (::waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD) std::_Exit(4);
        exitPath.fail(ExitScript::DeviceLost);
      },
      std::chrono::seconds(20));
  writeTextFile(dir / "res/go", "");
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan(dir.path(), {"lost", "notice"}));
}

// The process exit path, ending with _Exit: a child forked from this threaded
// test program under a file-size limit never finishes LeakSanitizer's
// exit-time check.
class QuickExitPath final : public ExitPath {
 public:
  void runScript(ExitScript script) override { ProcessExitPath().runScript(script); }
  [[noreturn]] void exitProcess(int code) override { std::_Exit(code); }
};

TEST(SaveParameters, WritesAllOrNothingAndEndsWithCodeOneOnAnyFailure) {
  // A save that fails part-way must not leave a short file (a 0-byte file
  // reads back as radius 0, tolerance 0, step 0): the old file stays as it
  // was, the process ends with code 1 and no script.
  adoptOrphanedScripts();
  const SearchParameters saved{2, 3, 4, 5, 6, 7, 8};
  std::uint8_t savedBytes[kParametersFileSize];
  encodeParameters(saved, savedBytes);
  const std::vector<std::uint8_t> newBytes(savedBytes, savedBytes + kParametersFileSize);
  const std::vector<std::uint8_t> oldBytes(kParametersFileSize, 0x5A);
  const fs::path file = "res/Combo_Box_Parameters.bin";
  const auto old = [&](const fs::path& d) { writeFile(d / file, oldBytes); };
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> setUp;
    std::function<void()> inChild;  // before the save
    int exitCode;
    const char* holds;  // the file that must hold the old or new bytes afterwards, "" for none
  };
  const Case cases[] = {
      {"a folder in its place", [&](const fs::path& d) { fs::create_directories(d / file); }, [] {}, 1, ""},
      {"a link to /dev/full", [&](const fs::path& d) { fs::create_symlink("/dev/full", d / file); }, [] {}, 1,
       ""},
      {"a full disk (file-size limit)", old,
       [] {
         ::signal(SIGXFSZ, SIG_IGN);
         const rlimit limit{10, 10};
         ::setrlimit(RLIMIT_FSIZE, &limit);
       },
       1, "res/Combo_Box_Parameters.bin"},
      {"a read-only file (as a user, not root)",
       [&](const fs::path& d) {
         old(d);
         fs::permissions(d / file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         fs::permissions(d, fs::perms::all);
         fs::permissions(d / "res", fs::perms::all);
       },
       [] {
         if (!dropRootPrivileges()) std::_Exit(98);
       },
       1, "res/Combo_Box_Parameters.bin"},
      {"a link to a file elsewhere",
       [&](const fs::path& d) {
         writeFile(d / "kept/p.bin", oldBytes);
         fs::create_symlink("../kept/p.bin", d / file);
       },
       [] {}, 0, "kept/p.bin"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    installMarkerScripts(dir.path());
    c.setUp(dir.path());
    const auto linked = fs::is_symlink(dir / file.string());
    const auto result = runInChild(dir.path(), [&] {
      c.inChild();
      QuickExitPath exitPath;
      saveParameters(saved, exitPath);
    });
    EXPECT_EQ(result.exitCode, c.exitCode) << c.what;
    if (*c.holds != '\0') {
      EXPECT_EQ(readFile(dir / c.holds), c.exitCode == 0 ? newBytes : oldBytes) << c.what;
    }
    EXPECT_EQ(fs::is_symlink(dir / file.string()), linked) << c.what << ": a link must stay a link";
    for (const auto& entry : fs::directory_iterator(dir / "res")) {
      EXPECT_TRUE(entry.path().extension() == ".sh" || entry.path().filename() == file.filename())
          << c.what << ": left behind " << entry.path();
    }
    EXPECT_TRUE(onlyScriptsRan(dir.path(), {})) << c.what;
  }
}

}  // namespace
}  // namespace orvalis::testing
