#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(ParametersFile, WritesTheExactLittleEndianLayout) {
  TempDir dir;
  const SearchParameters p{0x04030201, 0x08070605, 0x09, 0x0D0C0B0A, 0x11100F0E, 0x15141312, 0x19181716};
  ASSERT_EQ(writeParametersFile(p, (dir / "p.bin").c_str()), 1);
  std::vector<std::uint8_t> expected;
  for (int i = 1; i <= 25; ++i) expected.push_back(static_cast<std::uint8_t>(i));
  EXPECT_EQ(readFile(dir / "p.bin"), expected);
}

TEST(ParametersFile, ReadsTheToleranceAtOffsetEightAndTheRestAtOddOffsets) {
  TempDir dir;
  // framesPerSecond 2, filterRadius 5, tolerance 20, step 10, row 300, column 400, radius 90.
  writeFile(dir / "p.bin",
            {2, 0, 0, 0, 5, 0, 0, 0, 20, 10, 0, 0, 0, 0x2C, 1, 0, 0, 0x90, 1, 0, 0, 90, 0, 0, 0});
  SearchParameters p;
  loadParameters(p, (dir / "p.bin").c_str());
  EXPECT_EQ(p, (SearchParameters{2, 5, 20, 10, 300, 400, 90}));
}

TEST(ParametersFile, RoundTripsEveryField) {
  TempDir dir;
  const SearchParameters p{256, 20, 40, 50, 1199, 1919, 250};
  ASSERT_EQ(writeParametersFile(p, (dir / "p.bin").c_str()), 1);
  SearchParameters back;
  loadParameters(back, (dir / "p.bin").c_str());
  EXPECT_EQ(back, p);
}

TEST(ParametersFile, AFileThatCantBeReadGivesTheDefaultsAtOnce) {
  // In a child with a deadline: a FIFO opened the plain way waits for a
  // writer forever. A folder once read as an all-zero record.
  TempDir dir;
  std::filesystem::create_directories(dir / "folder.bin");
  ASSERT_EQ(::mkfifo((dir / "fifo.bin").c_str(), 0644), 0);
  std::filesystem::create_symlink(dir / "gone.bin", dir / "dangling.bin");
  const std::pair<const char*, FileStatus> cases[] = {
      {"absent.bin", FileStatus::Missing},        {"dangling.bin", FileStatus::Missing},
      {"folder.bin", FileStatus::NotRegularFile}, {"fifo.bin", FileStatus::NotRegularFile},
      {"/dev/null", FileStatus::NotRegularFile},
  };
  const auto child = testing::runInChild(dir.path(), [&] {
    int failures = 0;
    for (const auto& [name, status] : cases) {
      SearchParameters p{9, 9, 9, 9, 9, 9, 9};
      if (loadParameters(p, name) != status || p != kDefaultParameters) ++failures;
    }
    std::_Exit(failures);
  });
  EXPECT_FALSE(child.timedOut) << "a load blocked";
  EXPECT_EQ(child.exitCode, 0) << "cases that did not give the defaults with their status";
  EXPECT_EQ(kDefaultParameters, (SearchParameters{1, 8, 16, 25, 0, 0, 0}));
}

TEST(ParametersFile, ShortFileKeepsLaterFieldsAndLongFileIgnoresExtraBytes) {
  TempDir dir;
  // Nine bytes: the first three fields only; a partial field is not taken.
  writeFile(dir / "short.bin", {4, 0, 0, 0, 3, 0, 0, 0, 12, 50, 0});
  SearchParameters p{1, 1, 1, 10, 100, 200, 60};
  loadParameters(p, (dir / "short.bin").c_str());
  EXPECT_EQ(p, (SearchParameters{4, 3, 12, 10, 100, 200, 60}));

  std::vector<std::uint8_t> longer(30, 0);
  longer[0] = 8;
  longer[4] = 2;
  longer[8] = 4;
  longer[9] = 1;
  longer[21] = 45;
  longer[25] = 0xFF;
  writeFile(dir / "long.bin", longer);
  loadParameters(p, (dir / "long.bin").c_str());
  EXPECT_EQ(p, (SearchParameters{8, 2, 4, 1, 0, 0, 45}));
}

TEST(ParametersFile, ReplacesOnlyValuesThatBreakTheArithmetic) {
  TempDir dir;
  // framesPerSecond 0, filterRadius 21, viewfinderRadius 251: unusable.
  SearchParameters stored{0, 21, 3, 7, 500, 600, 251};
  writeParametersFile(stored, (dir / "p.bin").c_str());
  SearchParameters p;
  loadParameters(p, (dir / "p.bin").c_str());
  EXPECT_EQ(p, (SearchParameters{1, 8, 3, 7, 500, 600, 0}));

  // Out of their tables but harmless: kept as stored.
  stored = {3, 0, 255, 7, 500, 600, 250};
  writeParametersFile(stored, (dir / "p.bin").c_str());
  loadParameters(p, (dir / "p.bin").c_str());
  EXPECT_EQ(p, stored);
}

TEST(OptionTables, HoldTheExactTextsInAscendingOrder) {
  const auto fps = optionTable(Parameter::FramesPerSecond);
  ASSERT_EQ(fps.size(), 9u);
  std::uint32_t expected = 1;
  for (const auto& option : fps) {
    EXPECT_EQ(option.value, expected);
    EXPECT_EQ(std::string(option.text), "Immagini elaborate per secondo:   " + std::to_string(expected));
    expected *= 2;
  }
  const auto radius = optionTable(Parameter::FilterRadius);
  ASSERT_EQ(radius.size(), 20u);
  for (std::uint32_t i = 0; i < 20; ++i) {
    EXPECT_EQ(radius[i].value, i + 1);
    EXPECT_EQ(std::string(radius[i].text),
              "Raggio della filtrazione immagine:   " + std::to_string(i + 1) + " pixels");
  }
  const auto tolerance = optionTable(Parameter::ColorTolerance);
  ASSERT_EQ(tolerance.size(), 20u);
  for (std::uint32_t i = 0; i < 20; ++i) {
    EXPECT_EQ(tolerance[i].value, 2 * (i + 1));
    EXPECT_EQ(std::string(tolerance[i].text),
              "Precisione cromatica della ricerca:   " + std::to_string(2 * (i + 1)));
  }
}

TEST(OptionTables, LookupsAreExactAndLeaveUnknownsAlone) {
  EXPECT_STREQ(parameterText(Parameter::FramesPerSecond, 1), "Immagini elaborate per secondo:   1");
  EXPECT_STREQ(parameterText(Parameter::FilterRadius, 8), "Raggio della filtrazione immagine:   8 pixels");
  EXPECT_STREQ(parameterText(Parameter::ColorTolerance, 16), "Precisione cromatica della ricerca:   16");
  EXPECT_STREQ(parameterText(Parameter::FilterRadius, 0), "");
  EXPECT_STREQ(parameterText(Parameter::FilterRadius, 21), "");
  EXPECT_STREQ(parameterText(Parameter::ColorTolerance, 15), "");

  std::uint32_t value = 77;
  EXPECT_EQ(parameterValue(Parameter::FramesPerSecond, "Immagini elaborate per secondo:   256", value), 1);
  EXPECT_EQ(value, 256u);
  EXPECT_EQ(parameterValue(Parameter::FramesPerSecond, "Immagini elaborate per secondo:   2", value), 1);
  EXPECT_EQ(value, 2u);
  value = 77;
  EXPECT_EQ(parameterValue(Parameter::FramesPerSecond, "immagini elaborate per secondo:   2", value), 0);
  EXPECT_EQ(parameterValue(Parameter::FramesPerSecond, "Immagini elaborate per secondo: 2", value), 0);
  EXPECT_EQ(parameterValue(Parameter::FramesPerSecond, "Immagini elaborate per secondo:   2 ", value), 0);
  EXPECT_EQ(parameterValue(Parameter::ColorTolerance, "", value), 0);
  EXPECT_EQ(value, 77u);
}

TEST(OptionTables, StepRadioIndexes) {
  EXPECT_EQ(stepIndexOf(1), 0);
  EXPECT_EQ(stepIndexOf(10), 1);
  EXPECT_EQ(stepIndexOf(25), 2);
  EXPECT_EQ(stepIndexOf(50), 3);
  EXPECT_EQ(stepIndexOf(7), 0);
  std::uint32_t step = 0;
  EXPECT_EQ(stepOfIndex(3, step), 1);
  EXPECT_EQ(step, 50u);
  EXPECT_EQ(stepOfIndex(-1, step), 0);
  EXPECT_EQ(stepOfIndex(4, step), 0);
  EXPECT_EQ(step, 50u);
  EXPECT_STREQ(kViewfinderStepCaptions[0], "1 Pixel");
  EXPECT_STREQ(kViewfinderStepCaptions[3], "50 Pixels");
}

}  // namespace
}  // namespace orvalis
