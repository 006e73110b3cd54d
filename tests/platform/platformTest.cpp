// What lies at a path is never trusted: a read takes a regular file only and
// never blocks; a replacement is all or nothing, keeps links and modes, and
// stays inside its confining folder (callers check only their own wording).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <limits>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/atomicMinimum.h"
#include "platform/safeFile.h"
#include "platform/workerPool.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;

using testing::readTextFile;

// Runs f on a thread of its own: a call that blocks fails its row after 5 s.
template <typename F>
auto withoutBlocking(F f) -> std::optional<decltype(f())> {
  auto task = std::make_shared<std::packaged_task<decltype(f())()>>(f);
  auto result = task->get_future();
  std::thread([task] { (*task)(); }).detach();
  if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return std::nullopt;
  return result.get();
}

TEST(SafeFile, ReadsARegularFileWholeAndRefusesTheRestWithoutBlocking) {
  testing::TempDir dir;
  testing::writeTextFile(dir / "ten", "0123456789");
  testing::writeTextFile(dir / "locked", "x");
  fs::permissions(dir / "locked", fs::perms::none);
  fs::create_symlink(dir / "ten", dir / "link");
  fs::create_symlink(dir / "none", dir / "dangling");
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  // sysfs says 4096 bytes and holds a few: the file ends early, as one cut
  // short while it is read does.
  const fs::path shrinking = "/sys/devices/system/cpu/online";
  const struct {
    fs::path path;
    std::size_t maxBytes;
    FileStatus status;
    std::string bytes;
  } rows[] = {
      {dir / "ten", 10, FileStatus::Ok, "0123456789"},
      {dir / "link", 10, FileStatus::Ok, "0123456789"},
      {dir / "ten", 9, FileStatus::TooLarge, ""},
      {dir / "none", 10, FileStatus::Missing, ""},
      {dir / "dangling", 10, FileStatus::Missing, ""},
      {dir / "fifo", 10, FileStatus::NotRegularFile, ""},
      {dir / "folder", 10, FileStatus::NotRegularFile, ""},
      {"/dev/zero", 10, FileStatus::NotRegularFile, ""},
      {dir / "locked", 10, FileStatus::PermissionDenied, ""},
      {shrinking, 1 << 20, FileStatus::Ok, readTextFile(shrinking)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path.string() + " of at most " + std::to_string(row.maxBytes));
    if (row.status == FileStatus::PermissionDenied && ::geteuid() == 0) continue;  // root reads every file
    if (row.path == shrinking && !fs::exists(shrinking)) continue;
    const auto read = withoutBlocking([&row] {
      std::vector<std::uint8_t> bytes{1, 2, 3};
      FileStatus status = readRegularFile(row.path.c_str(), bytes, row.maxBytes), opened;
      const int fd = openRegularFileForReading(row.path.c_str(), opened);
      const int flags = fd < 0 ? -1 : ::fcntl(fd, F_GETFL),
                descriptorFlags = fd < 0 ? -1 : ::fcntl(fd, F_GETFD);
      if (fd >= 0) ::close(fd);
      return std::make_tuple(status, std::string(bytes.begin(), bytes.end()), opened, flags, descriptorFlags);
    });
    ASSERT_TRUE(read) << "blocked";
    const auto [status, bytes, opened, flags, descriptorFlags] = *read;
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(bytes, row.bytes);
    EXPECT_EQ(opened, row.status == FileStatus::TooLarge ? FileStatus::Ok : row.status);
    if (opened == FileStatus::Ok) {
      EXPECT_EQ(flags & O_NONBLOCK, 0) << "reads are left non-blocking";
      EXPECT_NE(descriptorFlags & FD_CLOEXEC, 0) << "the descriptor leaks into children";
    }
  }
  EXPECT_STREQ(fileStatusText(FileStatus::ReadError, ENOSPC), std::strerror(ENOSPC));
}

TEST(SafeFile, ReplacesARegularFileWholeAndOnlyInsideItsFolder) {
  testing::TempDir dir;
  const fs::path root = fs::canonical(dir.path()), work = root / "work", outside = root / "outside";
  fs::create_directories(work / "folder");
  testing::writeTextFile(work / "old", "old");
  fs::permissions(work / "old", fs::perms::owner_read | fs::perms::owner_write);
  testing::writeTextFile(work / "readonly", "old");
  fs::permissions(work / "readonly", fs::perms::owner_read);
  testing::writeTextFile(outside / "file", "outside");
  testing::writeTextFile(root / "work2/file", "twin");  // its folder's name begins with the confining one's
  fs::create_symlink(work / "old", work / "link");
  fs::create_symlink(outside / "file", work / "out");
  fs::create_symlink(outside, work / "sub");
  fs::create_symlink(root / "work2/file", work / "twin");
  // A replacement that took a device for a file would replace the device:
  // as root (who may), a full device of the test's own stands in for /dev/full.
  const fs::path device = ::geteuid() == 0 ? work / "device" : fs::path("/dev/full");
  ASSERT_TRUE(device == "/dev/full" || ::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) == 0);
  fs::create_symlink(device, work / "full");
  fs::create_symlink(work / "nowhere", work / "dangling");
  ASSERT_EQ(::mkfifo((work / "fifo").c_str(), 0644), 0);
  constexpr auto kReadWrite = fs::perms::owner_read | fs::perms::owner_write;
  const struct {
    fs::path path;
    bool confined;
    int result;
    fs::path written = {};             // holds "new" afterwards
    fs::perms mode = fs::perms::none;  // of written, when given
  } rows[] = {
      {work / "new", false, 0, work / "new", kReadWrite | fs::perms::group_read | fs::perms::others_read},
      {work / "old", false, 0, work / "old", kReadWrite},
      {work / "link", false, 0, work / "old"},
      {work / "folder", false, EISDIR},
      {work / "fifo", false, EINVAL},
      {device, false, EINVAL},
      {work / "full", false, EINVAL},
      {work / "dangling", false, ENOENT},
      {work / "readonly", false, EACCES},
      {work / "inner", true, 0, work / "inner"},
      {work / "out", true, kOutsideConfinedFolder},
      {work / "sub/file", true, kOutsideConfinedFolder},
      {work / "twin", true, kOutsideConfinedFolder},
      {work / "out", false, 0, outside / "file"},
  };
  static constexpr std::uint8_t bytes[] = {'n', 'e', 'w'};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path.string() + (row.confined ? ", confined" : ""));
    if (row.result == EACCES && ::geteuid() == 0) continue;  // root writes every file
    const auto result = withoutBlocking([&row, &work] {
      return replaceFile(row.path.c_str(), bytes, sizeof bytes, row.confined ? work.c_str() : nullptr);
    });
    ASSERT_TRUE(result) << "blocked";
    EXPECT_EQ(*result, row.result);
    EXPECT_TRUE(row.written.empty() || readTextFile(row.written) == "new");
    EXPECT_TRUE(row.mode == fs::perms::none || fs::status(row.written).permissions() == row.mode);
  }
  EXPECT_TRUE(fs::is_symlink(work / "link")) << "the link was replaced by a file";
  EXPECT_EQ(readTextFile(root / "work2/file"), "twin");
  EXPECT_EQ(readTextFile(work / "readonly"), "old");
  EXPECT_TRUE(fs::is_fifo(work / "fifo"));
  EXPECT_TRUE(fs::is_character_file(device));
  // Nothing half-written stays behind.
  std::set<std::string> names;
  for (const fs::path& folder : {work, outside})
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  names.erase("device");
  EXPECT_EQ(names, (std::set<std::string>{"dangling", "fifo", "file", "folder", "full", "inner", "link",
                                          "new", "old", "out", "readonly", "sub", "twin"}));
}
// Each lane lowers the value to just below what it saw and reads it back: a
// load then a store would let a lane put back a higher key over another's.
// More lanes than cores: one preempted between the two races as well.
TEST(LowerTo, TheLowestOfLanesRacingStays) {
  WorkerPool pool(8);
  std::atomic<std::uint64_t> value{std::numeric_limits<std::uint64_t>::max()};
  std::atomic<unsigned> started{0};
  std::atomic<long> rose{0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  auto race = [&](unsigned lane) {
    for (started.fetch_add(1); started.load() < pool.lanes();) std::this_thread::yield();
    for (int step = 0; step % 4096 != 0 || std::chrono::steady_clock::now() < end; ++step) {
      const std::uint64_t key = value.load() - 1 - lane;
      lowerTo(value, key);
      if (value.load() > key) rose.fetch_add(1);
    }
  };
  pool.run(race);
  EXPECT_EQ(rose.load(), 0) << "times the value rose above a key just lowered to";
}

}  // namespace
}  // namespace orvalis
