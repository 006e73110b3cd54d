#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "control/exitPath.h"
#include "control/saveParameters.h"
#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::installMarkerScripts;
using testing::runInChild;
using testing::TempDir;
using testing::waitForFile;

TEST(ExitScripts, NamesAreTheFiveShellScriptsInRes) {
  EXPECT_STREQ(exitScriptPath(ExitScript::MissingResources), "res/Missing_Resources.sh");
  EXPECT_STREQ(exitScriptPath(ExitScript::CurrentDatabaseMismatch), "res/Current_Database_Mismatch.sh");
  EXPECT_STREQ(exitScriptPath(ExitScript::ScannerMode), "res/Scanner_Mode.sh");
  EXPECT_STREQ(exitScriptPath(ExitScript::ScannerDatabaseMismatch), "res/Scanner_Database_Mismatch.sh");
  EXPECT_STREQ(exitScriptPath(ExitScript::DeviceLost), "res/Device_Lost.sh");
}

TEST(ExitScripts, FatalPathRunsTheScriptAndExitsWithCodeOne) {
  for (ExitScript script : {ExitScript::MissingResources, ExitScript::CurrentDatabaseMismatch,
                            ExitScript::ScannerDatabaseMismatch, ExitScript::DeviceLost}) {
    TempDir dir;
    installMarkerScripts(dir.path());
    const auto result = runInChild(dir.path(), [script] {
      ProcessExitPath exitPath;
      exitPath.fail(script);
    });
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 1);
    const std::string name = fs::path(exitScriptPath(script)).stem().string();
    EXPECT_TRUE(waitForFile(dir / ("res/" + name + ".ran")));
    EXPECT_EQ(testing::scriptsThatRan(dir.path()), name);
  }
}

TEST(ExitScripts, MissingScriptOrFolderStillExitsWithCodeOne) {
  TempDir dir;  // no res folder at all
  const auto result = runInChild(dir.path(), [] { ProcessExitPath().fail(ExitScript::DeviceLost); });
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exitCode, 1);

  fs::create_directories(dir / "res");
  testing::writeTextFile(dir / "res/Device_Lost.sh", "exit 3\n");  // not executable, fails: irrelevant
  const auto again = runInChild(dir.path(), [] { ProcessExitPath().fail(ExitScript::DeviceLost); });
  EXPECT_EQ(again.exitCode, 1);
}

TEST(ExitScripts, AChosenScriptFolderStandsInForRes) {
  TempDir dir, chosen;
  testing::writeTextFile(dir / "res/Device_Lost.sh", "echo working-folder >> res/markers.txt\n");
  testing::writeTextFile(chosen / "Device_Lost.sh", "echo chosen >> res/markers.txt\n: > res/chosen.ran\n");
  const std::string folder = chosen.path().string();
  const auto result =
      runInChild(dir.path(), [&folder] { ProcessExitPath(folder).fail(ExitScript::DeviceLost); });
  EXPECT_EQ(result.exitCode, 1);
  ASSERT_TRUE(waitForFile(dir / "res/chosen.ran"));
  EXPECT_EQ(testing::scriptsThatRan(dir.path()), "chosen");
}

TEST(ExitScripts, ScriptIsNotWaitedFor) {
  TempDir dir;
  testing::writeTextFile(dir / "res/Device_Lost.sh", "exec >/dev/null 2>&1\nsleep 3\n: > res/late.ran\n");
  const auto start = std::chrono::steady_clock::now();
  const auto result = runInChild(dir.path(), [] { ProcessExitPath().fail(ExitScript::DeviceLost); });
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(fs::exists(dir / "res/late.ran"));
}

TEST(ExitScripts, NoticeScriptLeavesNoZombieWhileTheProgramRunsOn) {
  TempDir dir;
  installMarkerScripts(dir.path());
  const auto result = runInChild(dir.path(), [] {
    runExitScript(exitScriptPath(ExitScript::ScannerMode));
    // Give the script time to finish, then check that we hold no child at all.
    if (!waitForFile("res/Scanner_Mode.ran")) std::_Exit(3);
    std::this_thread::sleep_for(100ms);
    int status = 0;
    const pid_t reaped = ::waitpid(-1, &status, WNOHANG);
    std::_Exit(reaped == -1 && errno == ECHILD ? 0 : 4);
  });
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exitCode, 0);
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
  const SearchParameters saved{2, 3, 4, 5, 6, 7, 8};
  std::uint8_t savedBytes[kParametersFileSize];
  encodeParameters(saved, savedBytes);
  const std::vector<std::uint8_t> newBytes(savedBytes, savedBytes + kParametersFileSize);
  const std::vector<std::uint8_t> oldBytes(kParametersFileSize, 0x5A);
  const fs::path file = "res/Combo_Box_Parameters.bin";

  struct Case {
    const char* what;
    std::function<void(const fs::path&)> setUp;
    std::function<void()> inChild;  // before the save
    int exitCode;
    const char* holds;  // the file that must hold the old or new bytes afterwards, "" for none
  };
  const Case cases[] = {
      {"a folder in its place", [&](const fs::path& d) { fs::create_directories(d / file); }, [] {}, 1, ""},
      {"no res folder", [](const fs::path& d) { fs::remove_all(d / "res"); }, [] {}, 1, ""},
      {"a link to /dev/full", [&](const fs::path& d) { fs::create_symlink("/dev/full", d / file); }, [] {}, 1,
       ""},
      {"a full disk (file-size limit)", [&](const fs::path& d) { testing::writeFile(d / file, oldBytes); },
       [] {
         ::signal(SIGXFSZ, SIG_IGN);
         const rlimit limit{10, 10};
         ::setrlimit(RLIMIT_FSIZE, &limit);
       },
       1, "res/Combo_Box_Parameters.bin"},
      {"a read-only file (as a user, not root)",
       [&](const fs::path& d) {
         testing::writeFile(d / file, oldBytes);
         fs::permissions(d / file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         fs::permissions(d, fs::perms::all);
         fs::permissions(d / "res", fs::perms::all);
       },
       [] {
         if (!testing::dropRootPrivileges()) std::_Exit(98);
       },
       1, "res/Combo_Box_Parameters.bin"},
      {"an old file", [&](const fs::path& d) { testing::writeFile(d / file, oldBytes); }, [] {}, 0,
       "res/Combo_Box_Parameters.bin"},
      {"a link to a file elsewhere",
       [&](const fs::path& d) {
         testing::writeFile(d / "kept/p.bin", oldBytes);
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
    EXPECT_TRUE(result.exited) << c.what;
    EXPECT_EQ(result.exitCode, c.exitCode) << c.what;
    if (*c.holds != '\0') {
      EXPECT_EQ(testing::readFile(dir / c.holds), c.exitCode == 0 ? newBytes : oldBytes) << c.what;
    }
    EXPECT_EQ(fs::is_symlink(dir / file.string()), linked) << c.what << ": a link must stay a link";
    if (fs::is_directory(dir / "res")) {
      for (const auto& entry : fs::directory_iterator(dir / "res")) {
        EXPECT_EQ(entry.path().extension() == ".sh" || entry.path().filename() == file.filename(), true)
            << c.what << ": left behind " << entry.path();
      }
    }
    std::this_thread::sleep_for(100ms);  // scripts run detached: give a wrong one time to show
    EXPECT_EQ(testing::scriptsThatRan(dir.path()), "") << c.what;
  }
}

}  // namespace
}  // namespace orvalis
