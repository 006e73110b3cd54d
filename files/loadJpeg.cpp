#include "files/loadJpeg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "state/constants.h"

namespace orvalis {

namespace {

// One decompressor and one file buffer per thread, made at the first load and
// kept: the buffer only grows, so a run over an archive of similar pictures
// stops allocating after its first picture.
struct DecoderContext {
  tjhandle handle = nullptr;
  std::vector<std::uint8_t> fileBytes;

  DecoderContext() : handle(tjInitDecompress()) { fileBytes.reserve(8u << 20); }
  ~DecoderContext() {
    if (handle != nullptr) tjDestroy(handle);
  }
  DecoderContext(const DecoderContext&) = delete;
  DecoderContext& operator=(const DecoderContext&) = delete;

  // A decompressor that failed part-way through a header can be left in a
  // state where it refuses every later picture, so a failure that reached the
  // decoder is followed by a fresh one. Damaged files are rare; the normal end
  // of the archive is a missing file, which never gets this far.
  void renew() {
    if (handle != nullptr) tjDestroy(handle);
    handle = tjInitDecompress();
  }
};

DecoderContext& decoder() {
  thread_local DecoderContext context;
  return context;
}

// Reads a whole regular file into bytes. Returns false for anything else.
bool readWholeFile(const char* path, std::vector<std::uint8_t>& bytes) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
            static_cast<std::uint64_t>(info.st_size) <= kMaxJpegFileBytes;
  if (ok) {
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    bytes.resize(size);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t got = ::read(fd, bytes.data() + done, size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // the file shrank under us: decode what is there
      done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    ok = done > 0;
  }
  ::close(fd);
  return ok;
}

void setSizes(std::uint32_t h, std::uint32_t w, std::uint32_t& height, std::uint32_t& width,
              std::uint32_t& byteCount) {
  height = h;
  width = w;
  byteCount = w * h * 3;
}

}  // namespace

int decodeJpeg(const std::uint8_t* data, std::size_t size, BgrImage& destination, std::uint32_t& height,
               std::uint32_t& width, std::uint32_t& byteCount) {
  setSizes(0, 0, height, width, byteCount);
  DecoderContext& context = decoder();
  tjhandle handle = context.handle;
  if (handle == nullptr || data == nullptr || size == 0 || size > kMaxJpegFileBytes) return 0;

  // Header first: everything refused here leaves the destination untouched.
  int w = 0, h = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(handle, data, static_cast<unsigned long>(size), &w, &h, &subsampling,
                          &colorspace) != 0) {
    context.renew();
    return 0;
  }
  if (w <= 0 || h <= 0 || !fitsImageCapacity(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h))) {
    return 0;
  }
  if (colorspace != TJCS_RGB && colorspace != TJCS_YCbCr && colorspace != TJCS_GRAY) return 0;

  // No fast-DCT or fast-upsampling flags: the accurate defaults give the same
  // pixels as other programs built on libjpeg-turbo. Any warning counts as a
  // failure, so a damaged file is never taken for a picture.
  const int result = tjDecompress2(handle, data, static_cast<unsigned long>(size), destination.data(), w,
                                   w * 3, h, TJPF_BGR, TJFLAG_STOPONWARNING);
  if (result != 0) {
    context.renew();
    return 0;
  }

  setSizes(static_cast<std::uint32_t>(h), static_cast<std::uint32_t>(w), height, width, byteCount);
  return 1;
}

int loadJpeg(const char* path, BgrImage& destination, std::uint32_t& height, std::uint32_t& width,
             std::uint32_t& byteCount) {
  setSizes(0, 0, height, width, byteCount);
  DecoderContext& context = decoder();
  if (path == nullptr || !readWholeFile(path, context.fileBytes)) return 0;
  return decodeJpeg(context.fileBytes.data(), context.fileBytes.size(), destination, height, width,
                    byteCount);
}

}  // namespace orvalis
