#include "control/archiveWalk.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "control/viewfinderCheck.h"
#include "files/archiveNaming.h"
#include "files/loadJpeg.h"
#include "files/matchViewFiles.h"
#include "files/parametersFile.h"
#include "imaging/glyphs.h"
#include "matching/matchViews.h"
#include "matching/searchSteps.h"

namespace orvalis {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string sizeText(std::uint32_t width, std::uint32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// Loads a picture and words the failure with its real cause. A missing file
// is told apart in missing, since only a missing archive number ends a walk
// quietly.
bool loadPicture(const std::string& path, const char* role, BgrImage& destination, std::uint32_t& width,
                 std::uint32_t& height, std::string& error, bool* missing = nullptr) {
  JpegLoadFailure failure;
  if (loadJpeg(path.c_str(), destination, width, height, &failure)) return true;
  if (missing != nullptr) *missing = failure.refusal == JpegRefusal::Missing;
  switch (failure.refusal) {
    case JpegRefusal::Missing: error = std::string(role) + " '" + path + "' not found"; break;
    case JpegRefusal::PermissionDenied:
    case JpegRefusal::NotRegularFile:
    case JpegRefusal::FileTooLarge:
    case JpegRefusal::Empty:
    case JpegRefusal::ReadError:
      error = std::string("cannot read ") + role + " '" + path + "': " + describeJpegFailure(failure);
      break;
    default:
      error = std::string("cannot decode ") + role + " '" + path + "': " + describeJpegFailure(failure);
  }
  return false;
}

}  // namespace

std::string archivePicturePath(const std::string& folder, std::uint32_t index) {
  // The name proper follows "Image_Archive/" in the program's own name.
  const ArchiveFileName name = archiveFileName(static_cast<std::int32_t>(index));
  return folder + "/" + (name.c_str() + sizeof(kArchiveFolder));
}

std::string SearchSetup::query() const {
  return queryPath.empty() ? archiveFolder + "/Current_Image.jpg" : queryPath;
}

bool prepareSearch(Workspace& workspace, const SearchSetup& options, std::string& error) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;

  // Parameters: a named file must be readable; the default one is used as
  // the window uses it, with the defaults when it can't be read.
  const FileStatus parameters =
      loadParameters(state, options.parametersPath ? options.parametersPath->c_str() : kParametersPath);
  if (options.parametersPath && parameters != FileStatus::Ok) {
    error =
        "parameters file '" + *options.parametersPath + "' " +
        (parameters == FileStatus::Missing ? std::string("not found")
                                           : std::string("cannot be read: ") + fileStatusText(parameters));
    return false;
  }
  if (options.filterRadius) state.filterRadius = *options.filterRadius;
  if (options.colorTolerance) state.colorTolerance = *options.colorTolerance;

  // Archive picture 0 gives the size the viewfinder is checked against.
  std::error_code ignored;
  if (!std::filesystem::is_directory(options.archiveFolder, ignored)) {
    error = "archive folder '" + options.archiveFolder + "' not found";
    return false;
  }
  const std::string firstPicture = archivePicturePath(options.archiveFolder, 0);
  if (!loadPicture(firstPicture, "archive picture", images.archiveImage, state.archiveWidth,
                   state.archiveHeight, error)) {
    return false;
  }
  state.landscape = state.archiveWidth >= state.archiveHeight ? 1 : 0;

  if (options.viewfinderRadius) {
    state.viewfinderX = *options.viewfinderX;
    state.viewfinderY = *options.viewfinderY;
    state.viewfinderRadius = *options.viewfinderRadius;
    if (!viewfinderFits(state.viewfinderX, state.viewfinderY, state.viewfinderRadius, state.archiveWidth,
                        state.archiveHeight)) {
      error = "viewfinder " + std::to_string(state.viewfinderX) + "," + std::to_string(state.viewfinderY) +
              "," + std::to_string(state.viewfinderRadius) + " does not fit the " +
              sizeText(state.archiveWidth, state.archiveHeight) +
              " pictures (the circle needs a one-pixel margin on every side)";
      return false;
    }
  } else {
    checkViewfinder(state, state.archiveWidth, state.archiveHeight);
  }

  // The query, which must have the archive's size.
  const std::string query = options.query();
  if (!loadPicture(query, "query picture", images.queryImage, state.queryWidth, state.queryHeight, error)) {
    return false;
  }
  if (state.queryWidth != state.archiveWidth || state.queryHeight != state.archiveHeight) {
    error = "query picture '" + query + "' is " + sizeText(state.queryWidth, state.queryHeight) +
            " but archive picture 0 is " + sizeText(state.archiveWidth, state.archiveHeight);
    return false;
  }
  if (!buildTemplate(workspace)) {
    error = "the viewfinder " + std::to_string(state.viewfinderX) + "," + std::to_string(state.viewfinderY) +
            "," + std::to_string(state.viewfinderRadius) + " is too small to search with on the " +
            sizeText(state.queryWidth, state.queryHeight) + " query picture";
    return false;
  }
  return true;
}

namespace {

// Decodes the next archive picture on a thread of its own while the current
// one is filtered and scanned, into archiveImage, which the current picture
// no longer reads once its channels are split. The sizes stay here until the
// walk takes the picture up, since the scan reads the state's.
class NextPicture {
 public:
  NextPicture() : thread_([this] { loop(); }) {}
  ~NextPicture() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  NextPicture(const NextPicture&) = delete;
  NextPicture& operator=(const NextPicture&) = delete;

  struct Loaded {
    bool ok = false, missing = false;
    std::string error;
    std::uint32_t width = 0, height = 0;
  };

  void start(const std::string& path, BgrImage& destination) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      path_ = path;
      destination_ = &destination;
      pending_ = true;
      done_ = false;
    }
    wake_.notify_one();
  }

  Loaded wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return done_; });
    return loaded_;
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || pending_; });
      if (stopping_) return;
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

  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::string path_;
  BgrImage* destination_ = nullptr;
  bool pending_ = false, done_ = false, stopping_ = false;
  Loaded loaded_;
  std::thread thread_;
};

}  // namespace

bool walkArchive(Workspace& workspace, const ArchiveRange& range,
                 const std::function<bool(const PictureResult&)>& onPicture, WalkSummary& summary,
                 std::string& error, bool decodeAhead) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;
  const Clock::time_point walkStart = Clock::now();
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
              sizeText(state.archiveWidth, state.archiveHeight) + " but the query picture is " +
              sizeText(state.queryWidth, state.queryHeight);
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

bool loadArchivePicture(const char* path, BgrImage& destination, std::uint32_t& width,
                        std::uint32_t& height) {
  JpegLoadFailure failure;
  if (loadJpeg(path, destination, width, height, &failure)) return true;
  if (failure.refusal != JpegRefusal::Missing) {
    std::fprintf(stderr, "orvalis: archive picture '%s' refused: %s\n", path,
                 describeJpegFailure(failure).c_str());
    std::fflush(stderr);
  }
  return false;
}

bool writeViewsOfMatch(Workspace& workspace, const std::string& folder, std::string& error) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;
  // The display pictures of a search tick: gray from the raw planes, the
  // viewfinder on the query; prepareMatchViews then marks the archive picture.
  drawQueryGray(workspace);
  drawViewfinderGlyph(images.queryImage.data(), state.queryWidth, state.queryHeight, state.viewfinderX,
                      state.viewfinderY, state.viewfinderRadius);
  drawArchiveGray(workspace);
  prepareMatchViews(workspace);
  std::string failedPath;
  if (!writeMatchViews(workspace, folder, &failedPath)) {
    error = "cannot write the match views to '" + failedPath + "'";
    return false;
  }
  return true;
}

}  // namespace orvalis
