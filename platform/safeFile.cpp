#include "platform/safeFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace orvalis {

namespace {

FileStatus statusOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return FileStatus::Missing;
    case EACCES:
    case EPERM: return FileStatus::PermissionDenied;
    default: return FileStatus::ReadError;
  }
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(fd, bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// Whether the open folder lies in root or below it, by the kernel's own name
// for the descriptor: the bytes of its real path.
bool folderInside(int folderFd, const char* root) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", folderFd);
  char real[PATH_MAX];
  const ssize_t length = ::readlink(link, real, sizeof real);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof real) return false;
  const std::string_view place(real, static_cast<std::size_t>(length));
  std::string_view base(root);
  while (base.size() > 1 && base.back() == '/') base.remove_suffix(1);
  if (base == "/") return place.front() == '/';
  return place == base ||
         (place.size() > base.size() && place.substr(0, base.size()) == base && place[base.size()] == '/');
}

}  // namespace

const char* fileStatusText(FileStatus status, int errorNumber) {
  switch (status) {
    case FileStatus::Ok: return "ok";
    case FileStatus::Missing: return "not found";
    case FileStatus::PermissionDenied: return "permission denied";
    case FileStatus::NotRegularFile: return "not a regular file";
    case FileStatus::TooLarge: return "too large";
    case FileStatus::ReadError: break;
  }
  return errorNumber != 0 ? std::strerror(errorNumber) : "read error";
}

int openRegularFileForReading(const char* path, FileStatus& status) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    status = statusOfErrno(errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    status = FileStatus::ReadError;
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    status = FileStatus::NotRegularFile;
    return -1;
  }
  // Regular files never block; clearing the flag keeps reads plain anyway.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  status = FileStatus::Ok;
  return fd;
}

FileStatus readRegularFile(const char* path, std::vector<std::uint8_t>& bytes, std::size_t maxBytes,
                           int* errorNumber) {
  bytes.clear();
  if (errorNumber != nullptr) *errorNumber = 0;
  FileStatus status = FileStatus::Ok;
  const int fd = openRegularFileForReading(path, status);
  if (fd < 0) {
    if (errorNumber != nullptr) *errorNumber = errno;
    return status;
  }
  struct stat info {};
  ::fstat(fd, &info);
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    ::close(fd);
    return FileStatus::TooLarge;
  }
  const std::size_t size = static_cast<std::size_t>(info.st_size);
  bytes.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, bytes.data() + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      if (errorNumber != nullptr) *errorNumber = errno;
      ::close(fd);
      bytes.clear();
      return FileStatus::ReadError;
    }
    if (got == 0) break;  // the file shrank under us: keep what is there
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  ::close(fd);
  return FileStatus::Ok;
}

int replaceFile(const char* path, const std::uint8_t* bytes, std::size_t size, const char* confinedTo) {
  // Where the bytes go: a link is followed so that it survives the save.
  std::string target = path;
  struct stat info {};
  bool exists = false;
  if (::lstat(path, &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      char resolved[PATH_MAX];
      if (::realpath(path, resolved) == nullptr) return errno;  // dangling or looping link
      target = resolved;
      if (::stat(resolved, &info) != 0) return errno;
    }
    if (!S_ISREG(info.st_mode)) return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    exists = true;
  } else if (errno != ENOENT) {
    return errno;
  }

  // Everything from here on is done relative to the file's folder, held open,
  // so the folder checked is the folder written.
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd < 0) return errno;
  const auto fail = [folderFd](int error) {
    ::close(folderFd);
    return error;
  };
  if (confinedTo != nullptr && !folderInside(folderFd, confinedTo)) return fail(kOutsideConfinedFolder);
  // A file its owner made read-only stays as it is, as it would for a
  // write in place; the rename alone would not ask.
  if (exists && ::faccessat(folderFd, name.c_str(), W_OK, 0) != 0) return fail(errno);

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    std::uint32_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
      random = static_cast<std::uint32_t>(::getpid()) * 2654435761U + static_cast<std::uint32_t>(attempt);
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", random);
    temporary = name + suffix;
    fd = ::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return fail(errno);
  }
  if (fd < 0) return fail(EEXIST);
  // The saved file keeps the old file's mode, or gets the usual 0644 when it
  // is new.
  const mode_t mode = exists ? (info.st_mode & 07777) : 0644;
  int error = 0;
  if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes, size) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlinkat(folderFd, temporary.c_str(), 0);
    return fail(error);
  }
  // The rename itself reaches the disk with the folder; a failure here loses
  // nothing that was there before, so it is not reported.
  ::fsync(folderFd);
  ::close(folderFd);
  return 0;
}

}  // namespace orvalis
