#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <numeric>

#include "files/archiveNaming.h"
#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

// fsync for this test program: fails with EIO while failingFsync is set, as
// on a disk that loses the data, and is the system's otherwise. Defined in the
// program itself, it takes the calls of the code linked into it.
namespace {
bool failingFsync = false;
}  // namespace

extern "C" int fsync(int fd) {
  if (failingFsync) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(ParametersFile, StoresEachFieldLittleEndianAtItsOffset) {
  // Each field's bytes spell their place in the file: 1, 2, ..., 25.
  TempDir dir;
  const SearchParameters p{0x04030201, 0x08070605, 0x09, 0x0D0C0B0A, 0x11100F0E, 0x15141312, 0x19181716};
  ASSERT_EQ(writeParametersFile(p, (dir / "p.bin").c_str()), 1);
  std::vector<std::uint8_t> bytes(25);
  std::iota(bytes.begin(), bytes.end(), 1);
  EXPECT_EQ(testing::readFile(dir / "p.bin"), bytes);
  SearchParameters back;
  decodeParameters(bytes.data(), bytes.size(), back);
  EXPECT_EQ(back, p);
  EXPECT_EQ(writeParametersFile(p, (dir / "no/p.bin").c_str()), 0);  // a folder that is not there
}

TEST(ParametersFile, ASaveTheFolderRefusesLeavesTheFileAndReportsTheFailure) {
  // Another user's file, writable by all, in a sticky folder: every check
  // before the rename passes, and the rename over the file is refused.
  if (::geteuid() != 0) GTEST_SKIP() << "making a file another user's needs root";
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all | fs::perms::sticky_bit);
  const std::vector<std::uint8_t> old(25, 1);
  testing::writeFile(dir / "p.bin", old);
  fs::permissions(dir / "p.bin", fs::perms(0666));
  const auto child = testing::runInChild(dir.path(), [] {
    std::_Exit(testing::dropRootPrivileges() ? writeParametersFile(kDefaultParameters, "p.bin") : 3);
  });
  EXPECT_EQ(child.exitCode, 0) << "1: the save was reported done";
  EXPECT_EQ(testing::readFile(dir / "p.bin"), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
      << "a temporary file left";
}

TEST(ParametersFile, ASaveThatNeverReachesTheDiskLeavesTheFileAndReportsTheFailure) {
  TempDir dir;
  const std::vector<std::uint8_t> old(25, 1);
  testing::writeFile(dir / "p.bin", old);
  failingFsync = true;
  const int saved = writeParametersFile(kDefaultParameters, (dir / "p.bin").c_str());
  failingFsync = false;
  EXPECT_EQ(saved, 0) << "reported saved";
  EXPECT_EQ(testing::readFile(dir / "p.bin"), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
      << "a temporary file left";
}

TEST(ParametersFile, ARecordOfAnyLengthGivesOnlyTheFieldsItHoldsWhole) {
  // The corpus holds the record {4, 8, 16, 25, 240, 320, 80} cut or padded
  // to every length from 0 to 30 bytes; a field ends at byte 4, 8, 9, 13, 17,
  // 21, 25.
  const SearchParameters before{2, 3, 4, 10, 11, 12, 13};
  for (const auto& entry : fs::directory_iterator(ORVALIS_SOURCE_DIR "/tests/data/corpus/parameters")) {
    if (entry.path().filename().string().rfind("length-", 0) != 0) continue;
    const std::size_t size = fs::file_size(entry.path());
    SearchParameters p = before;
    EXPECT_EQ(loadParameters(p, entry.path().c_str()), FileStatus::Ok);
    const SearchParameters expected{size >= 4 ? 4 : before.framesPerSecond,
                                    size >= 8 ? 8 : before.filterRadius,
                                    std::uint8_t(size >= 9 ? 16 : before.colorTolerance),
                                    size >= 13 ? 25 : before.viewfinderStep,
                                    size >= 17 ? 240 : before.viewfinderY,
                                    size >= 21 ? 320 : before.viewfinderX,
                                    size >= 25 ? 80 : before.viewfinderRadius};
    EXPECT_EQ(p, expected) << size << " bytes";
  }
}

TEST(ParametersFile, AFileThatCantBeReadGivesTheDefaultsAtOnce) {
  // What may lie at the path is safeFile's to judge; here, that a refusal
  // gives the defaults with its status, and a FIFO does not block the load.
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo.bin").c_str(), 0644), 0);
  const auto child = testing::runInChild(dir.path(), [&] {
    int failures = 0;
    for (const auto& [name, status] :
         {std::pair{"absent.bin", FileStatus::Missing}, std::pair{"fifo.bin", FileStatus::NotRegularFile}}) {
      SearchParameters p{9, 9, 9, 9, 9, 9, 9};
      failures += loadParameters(p, name) != status || p != kDefaultParameters;
    }
    std::_Exit(failures);
  });
  EXPECT_FALSE(child.timedOut) << "a load blocked";
  EXPECT_EQ(child.exitCode, 0) << "cases that did not give the defaults with their status";
}

TEST(ParametersFile, ReplacesOnlyValuesThatBreakTheArithmetic) {
  // framesPerSecond 0, filterRadius 21, viewfinderRadius 251 can't be used;
  // the largest usable radii and values outside the lists are kept.
  const std::pair<SearchParameters, SearchParameters> cases[] = {
      {{0, 21, 3, 7, 500, 600, 251}, {1, 8, 3, 7, 500, 600, 0}},
      {{3, 20, 255, 7, 500, 600, 250}, {3, 20, 255, 7, 500, 600, 250}},
  };
  TempDir dir;
  for (const auto& [stored, loaded] : cases) {
    ASSERT_EQ(writeParametersFile(stored, (dir / "p.bin").c_str()), 1);
    SearchParameters p;
    loadParameters(p, (dir / "p.bin").c_str());
    EXPECT_EQ(p, loaded);
  }
}

TEST(ArchiveFileName, TenDigitsOfTheIndexReadUnsigned) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "Image_Archive/Image_0000000000.jpg"},
      {123, "Image_Archive/Image_0000000123.jpg"},
      {2147483647, "Image_Archive/Image_2147483647.jpg"},
      {-1, "Image_Archive/Image_4294967295.jpg"},
      {-2147483647 - 1, "Image_Archive/Image_2147483648.jpg"},
  };
  for (const auto& [index, name] : cases) EXPECT_STREQ(archiveFileName(index).c_str(), name);
}

}  // namespace
}  // namespace orvalis
