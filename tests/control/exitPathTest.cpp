#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>

#include "control/exitPath.h"
#include "control/saveParameters.h"
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

TEST(SaveParameters, UnwritableFileEndsTheProcessWithCodeOneAndNoScript) {
  TempDir dir;
  installMarkerScripts(dir.path());
  // A folder in the file's place can't be opened for writing, not even by
  // root, who ignores a read-only res folder.
  fs::create_directories(dir / "res/Combo_Box_Parameters.bin");
  const auto result = runInChild(dir.path(), [] {
    ProcessExitPath exitPath;
    saveParameters(SearchParameters{1, 8, 16, 25, 0, 0, 0}, exitPath);
  });
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exitCode, 1);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(testing::scriptsThatRan(dir.path()), "");
}

TEST(SaveParameters, MissingResFolderEndsTheProcessWithCodeOne) {
  TempDir dir;
  const auto result = runInChild(dir.path(), [] {
    ProcessExitPath exitPath;
    saveParameters(SearchParameters{}, exitPath);
  });
  EXPECT_EQ(result.exitCode, 1);
}

TEST(SaveParameters, WritesTheFileAndCarriesOn) {
  TempDir dir;
  fs::create_directories(dir / "res");
  const auto result = runInChild(dir.path(), [] {
    ProcessExitPath exitPath;
    saveParameters(SearchParameters{2, 3, 4, 5, 6, 7, 8}, exitPath);
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(fs::file_size(dir / "res/Combo_Box_Parameters.bin"), 25u);
}

}  // namespace
}  // namespace orvalis
