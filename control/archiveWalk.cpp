#include "control/archiveWalk.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "matching/searchSteps.h"
#include "platform/stoppableThread.h"

namespace orvalis {

namespace {

// Decodes the next archive picture on a thread of its own while the current
// one is filtered and scanned, into archiveImage, which the current picture
// no longer reads once its channels are split. The sizes stay here until the
// walk takes the picture up, since the scan reads the state's.
class NextPicture {
 public:
  NextPicture() {
    thread_.start([this] { loop(); });
  }

  struct Loaded {
    bool ok = false, missing = false;
    std::string error;
    std::uint32_t width = 0, height = 0;
  };

  void start(const std::string& path, BgrImage& destination) {
    thread_.change([&] {
      path_ = path;
      destination_ = &destination;
      pending_ = true;
      done_ = false;
    });
  }

  Loaded wait() {
    std::unique_lock<std::mutex> lock(thread_.mutex());
    finished_.wait(lock, [this] { return done_; });
    return loaded_;
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(thread_.mutex());
    while (thread_.waitUntil(lock, [this] { return pending_; })) {
      pending_ = false;
      const std::string path = path_;
      BgrImage& destination = *destination_;
      lock.unlock();
      Loaded loaded;
      loaded.ok = loadPicture(path, "archive picture", destination, loaded.width, loaded.height, loaded.error,
                              &loaded.missing);
      lock.lock();
      loaded_ = std::move(loaded);
      done_ = true;
      finished_.notify_all();
    }
  }

  std::condition_variable finished_;
  std::string path_;
  BgrImage* destination_ = nullptr;
  bool pending_ = false, done_ = false;
  Loaded loaded_;
  StoppableThread thread_;  // last: stopped first, and started once the rest exists
};

}  // namespace

bool walkArchive(Workspace& workspace, const ArchiveRange& range,
                 const std::function<bool(const PictureResult&)>& onPicture, WalkSummary& summary,
                 std::string& error, bool decodeAhead) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;
  const auto walkStart = std::chrono::steady_clock::now();
  summary = WalkSummary{};
  error.clear();
  if (range.first > range.last) return true;

  std::optional<NextPicture> next;
  if (decodeAhead) next.emplace();
  NextPicture::Loaded loaded;
  loaded.ok = loadPicture(archivePicturePath(range.folder, range.first), "archive picture",
                          images.archiveImage, loaded.width, loaded.height, loaded.error, &loaded.missing);

  // 64 bits, so that a range ending at the largest number still ends.
  for (std::uint64_t number = range.first; number <= range.last; ++number) {
    const std::uint32_t index = static_cast<std::uint32_t>(number);
    PictureResult result;
    result.index = index;
    result.file = archivePicturePath(range.folder, index);

    // The first missing number ends the archive; any other refusal is an error.
    if (!loaded.ok) {
      if (!loaded.missing) error = loaded.error;
      break;
    }
    state.archiveWidth = loaded.width;
    state.archiveHeight = loaded.height;
    if (state.archiveWidth != state.queryWidth || state.archiveHeight != state.queryHeight) {
      error = "archive picture '" + result.file + "' is " +
              pictureSizeText(state.archiveWidth, state.archiveHeight) + " but the query picture is " +
              pictureSizeText(state.queryWidth, state.queryHeight);
      break;
    }
    workspace.scanPicture = index;
    const bool more = number < range.last;
    const std::string nextFile = more ? archivePicturePath(range.folder, index + 1) : std::string();
    const auto decodeNext = [&] {
      if (next && more) next->start(nextFile, images.archiveImage);
    };
    if (!processArchivePicture(workspace, result, decodeNext)) {
      if (next && more) next->wait();
      error = "filter radius " + std::to_string(state.filterRadius) + " is above the largest, " +
              std::to_string(kMaxFilterRadius);
      break;
    }
    if (more) {
      if (next) {
        loaded = next->wait();
      } else {
        loaded = NextPicture::Loaded{};
      }
    }

    ++summary.scanned;
    if (result.matchFound) ++summary.matches;
    if (!onPicture(result)) break;
    if (result.matchFound && !range.all) break;
    if (more && !next) {
      loaded.ok = loadPicture(nextFile, "archive picture", images.archiveImage, loaded.width, loaded.height,
                              loaded.error, &loaded.missing);
    }
  }
  summary.totalMs = millisecondsSince(walkStart);
  return error.empty();
}

}  // namespace orvalis
