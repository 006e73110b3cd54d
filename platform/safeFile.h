#pragma once

// Reading and replacing files without trusting what lies at a path: a FIFO,
// a device or a folder where a file should be must never block the program
// or be taken for an empty file, and a save must never leave a short file.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvalis {

// Why a file could not be read. Callers word the failure for their place.
enum class FileStatus {
  Ok,
  Missing,           // nothing at the path (or a dangling link)
  PermissionDenied,  // no read permission on the file or a folder above it
  NotRegularFile,    // a folder, FIFO, device or socket (links are followed)
  TooLarge,          // above the caller's size limit
  ReadError,         // any other failure; the errno text says more
};

// A short lower-case description: "not found", "permission denied",
// "not a regular file", "too large", or the system's text for errorNumber.
const char* fileStatusText(FileStatus status, int errorNumber = 0);

// Opens a regular file for reading without ever blocking: the path is opened
// with O_NONBLOCK (a FIFO without a writer would otherwise wait forever),
// anything but a regular file is refused, then blocking reads are restored.
// Returns the descriptor (close-on-exec), or -1 with status (and errno) set.
int openRegularFileForReading(const char* path, FileStatus& status);

// Reads a whole regular file of at most maxBytes into bytes (resized to what
// was read). A file that shrinks while it is read gives its remaining bytes.
// On failure bytes is left empty; errorNumber (optional) receives errno.
FileStatus readRegularFile(const char* path, std::vector<std::uint8_t>& bytes, std::size_t maxBytes,
                           int* errorNumber = nullptr);

// What replaceFile returns when the file it would replace lies outside the
// folder it was confined to; every other failure is an errno value.
inline constexpr int kOutsideConfinedFolder = -1;

// Replaces the file at path with bytes, all or nothing: the bytes go to a
// new file beside it, every write is checked, the file is synced and then
// renamed over the old one, so a failure at any point leaves the old file as
// it was. A link at path is followed and its target replaced (the link
// stays); a path or link target that exists but is not a regular file (a
// folder, /dev/full) or can't be written is refused. The new file keeps the
// old one's permission bits. With confinedTo (a real path, no links in it),
// a file whose real place, after every link on the way, is not inside that
// folder is left alone and kOutsideConfinedFolder returned: the folder of the
// file is held open from the check to the rename, so a link swapped in
// meanwhile is replaced, never followed. Returns 0, or an errno value.
int replaceFile(const char* path, const std::uint8_t* bytes, std::size_t size,
                const char* confinedTo = nullptr);

}  // namespace orvalis
