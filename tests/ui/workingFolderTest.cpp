// Start-up of the window program before the window: its arguments and the
// default resources a new working folder gets. Whose exit scripts run is the
// start test's (windowStartTest.sh) and the installed package's.

#include <gtest/gtest.h>

#include "tests/support/testSupport.h"
#include "ui/workingFolder.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;

TEST(WindowArguments, FolderFlagsAndRefusals) {
  const struct {
    std::vector<std::string> arguments;
    std::string folder, trust, error;  // error: empty when accepted
    bool fromDesktop;
    std::vector<std::string> qt = {};  // set apart for Qt
  } cases[] = {
      {{}, "", "", "", false},
      {{"pics"}, "pics", "", "", false},
      {{"--from-desktop", "/a b"}, "/a b", "", "", true},
      {{"--from-desktop"}, "", "", "", true},
      {{"--trust=pics"}, "", "pics", "", false},
      {{"--trust", "pics"}, "", "pics", "", false},
      {{"--", "-odd"}, "-odd", "", "", false},
      // Qt's own options before "--" go to Qt, with their values.
      {{"-platform", "xcb", "--reverse", "-style=x", "d"},
       "d",
       "",
       "",
       false,
       {"-platform", "xcb", "--reverse", "-style=x"}},
      {{"--trust=--log"}, "", "--log", "", false},
      {{"-platform"}, "", "", "-platform needs a value", false},
      {{"--trust"}, "", "", "--trust needs a folder", false},
      {{"--trust="}, "", "", "--trust needs a folder", false},
      {{"--fast"}, "", "", "unknown option --fast", false},
      {{"a", "b"}, "", "", "unexpected argument 'b'", false},
      // The search profile, taken as orvalis-search takes it.
      {{"--scales", "0.9:1.1", "--light", "--matches=3", "d"}, "d", "", "", false},
      {{"--matches", "0"}, "", "", "--matches: '0' is not a whole number", false},
      {{"--light=1"}, "", "", "--light takes no value", false},
      {{"--angles"}, "", "", "--angles needs a value", false},
      {{"--min-score", "2"}, "", "", "use --max-score", false},
  };
  for (const auto& c : cases) {
    const ParsedWindowArguments parsed = parseWindowArguments(c.arguments);
    SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments[0]);
    ASSERT_EQ(parsed.ok, c.error.empty()) << parsed.error;
    if (!parsed.ok) {
      EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
      continue;
    }
    EXPECT_EQ(parsed.arguments.folder, c.folder);
    EXPECT_EQ(parsed.arguments.trustFolder, c.trust);
    EXPECT_EQ(parsed.arguments.fromDesktop, c.fromDesktop);
    EXPECT_EQ(parsed.arguments.qtOptions, c.qt);
    EXPECT_EQ(parsed.arguments.profile.given, c.arguments.size() > 1 && c.arguments[0] == "--scales");
  }
  const SearchProfile p =
      parseWindowArguments({"--scales", "0.9:1.1", "--light", "--matches=3"}).arguments.profile;
  EXPECT_TRUE(p.scaleMin == 0.9 && p.scaleMax == 1.1 && p.light && p.matches == 3);
}

// A new folder gets the scripts and the backdrop, never a parameters file; a
// folder that has res/ is left alone; failures are said.
TEST(DefaultResources, ANewFolderGetsScriptsAndBackdropOnlyOnce) {
  testing::TempDir defaults, work;
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

  fs::remove(work / "res/Device_Lost.sh");
  message.clear();
  EXPECT_FALSE(provideDefaultResources(work.path().string(), defaults.path().string(), message));
  EXPECT_EQ(message, "");
  EXPECT_FALSE(fs::exists(work / "res/Device_Lost.sh"));

  testing::TempDir empty;
  EXPECT_TRUE(provideDefaultResources(empty.path().string(), "", message));
  EXPECT_NE(message.find("no default resources"), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(empty / "res"));
  message.clear();
  EXPECT_TRUE(provideDefaultResources((empty / "gone").string(), work.path().string(), message));
  EXPECT_NE(message.find("can't be made"), std::string::npos) << message;
}

}  // namespace
}  // namespace orvalis
