// Start-up of the window program before the window: its arguments, whose
// exit scripts run, and the default resources a new working folder gets.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/testSupport.h"
#include "ui/workingFolder.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(WindowArguments, FolderFlagsAndRefusals) {
  struct Case {
    std::vector<std::string> arguments;
    bool ok;
    std::string folder, trust, error;
    bool fromDesktop;
  };
  const Case cases[] = {
      {{}, true, "", "", "", false},
      {{"pics"}, true, "pics", "", "", false},
      {{"--from-desktop", "/a b"}, true, "/a b", "", "", true},
      {{"--from-desktop"}, true, "", "", "", true},
      {{"--trust", "pics"}, true, "", "pics", "", false},
      {{"--trust=pics"}, true, "", "pics", "", false},
      {{"--", "-odd"}, true, "-odd", "", "", false},
      {{"--trust"}, false, "", "", "--trust needs a folder", false},
      {{"--trust="}, false, "", "", "--trust needs a folder", false},
      {{"--fast"}, false, "", "", "unknown option --fast", false},
      {{"a", "b"}, false, "", "", "unexpected argument 'b'", false},
  };
  for (const Case& c : cases) {
    const ParsedWindowArguments parsed = parseWindowArguments(c.arguments);
    const std::string label = c.arguments.empty() ? "(none)" : c.arguments[0];
    ASSERT_EQ(parsed.ok, c.ok) << label << ": " << parsed.error;
    if (!c.ok) {
      EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
      continue;
    }
    EXPECT_EQ(parsed.arguments.folder, c.folder) << label;
    EXPECT_EQ(parsed.arguments.trustFolder, c.trust) << label;
    EXPECT_EQ(parsed.arguments.fromDesktop, c.fromDesktop) << label;
  }
}

// Only a start from a terminal or a trusted folder runs the folder's own
// scripts; a folder from the desktop gets the user's scripts or the defaults.
TEST(ExitScriptFolder, TheFoldersOwnScriptsRunOnlyFromATerminalOrWhenTrusted) {
  struct Case {
    FolderOrigin origin;
    bool trusted;
    const char* user;
    const char* expected;
  };
  const Case cases[] = {
      {FolderOrigin::Terminal, false, "", "res"},
      {FolderOrigin::Terminal, false, "/home/u/.config/orvalis/res", "res"},
      {FolderOrigin::Desktop, true, "/home/u/.config/orvalis/res", "res"},
      {FolderOrigin::Desktop, false, "/home/u/.config/orvalis/res", "/home/u/.config/orvalis/res"},
      {FolderOrigin::Desktop, false, "", "/usr/share/orvalis/res"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(exitScriptFolder(c.origin, c.trusted, c.user, "/usr/share/orvalis/res"), c.expected)
        << c.user << " trusted " << c.trusted;
  }
}

TEST(DefaultResources, ANewFolderGetsScriptsAndBackdropButNoParameters) {
  TempDir defaults, work;
  for (const char* name : {"Missing_Resources.sh", "Device_Lost.sh", "Dark_Gray_Square.jpg"}) {
    testing::writeTextFile(defaults / name, name);
  }
  testing::writeTextFile(defaults / "Combo_Box_Parameters.bin", "not to be copied");
  fs::create_directory(defaults / "Scanner_Mode.sh");  // not a plain file: skipped
  EXPECT_EQ(findDefaultResources({"", (work / "none").string(), defaults.path().string()}),
            defaults.path().string());

  std::string message;
  ASSERT_TRUE(provideDefaultResources(work.path().string(), defaults.path().string(), message));
  EXPECT_NE(message.find("copied Missing_Resources.sh, Device_Lost.sh, Dark_Gray_Square.jpg"),
            std::string::npos)
      << message;
  const std::vector<std::uint8_t> copied = testing::readFile(work / "res/Device_Lost.sh");
  EXPECT_EQ(std::string(copied.begin(), copied.end()), "Device_Lost.sh");
  EXPECT_FALSE(fs::exists(work / "res/Combo_Box_Parameters.bin"));
  EXPECT_FALSE(fs::exists(work / "res/Scanner_Mode.sh"));

  // A folder that has res/ is left as it is and nothing is said.
  fs::remove(work / "res/Device_Lost.sh");
  message.clear();
  EXPECT_FALSE(provideDefaultResources(work.path().string(), defaults.path().string(), message));
  EXPECT_TRUE(message.empty());
  EXPECT_FALSE(fs::exists(work / "res/Device_Lost.sh"));
}

TEST(DefaultResources, FailuresAreSaidAndLeaveTheFolderAlone) {
  TempDir work;
  std::string message;
  EXPECT_TRUE(provideDefaultResources(work.path().string(), "", message));
  EXPECT_NE(message.find("no default resources"), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(work / "res"));

  // A folder that does not exist can't get res/.
  message.clear();
  EXPECT_TRUE(provideDefaultResources((work / "gone").string(), work.path().string(), message));
  EXPECT_NE(message.find("can't be made"), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(work / "gone"));
}

}  // namespace
}  // namespace orvalis
