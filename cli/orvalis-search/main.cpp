// orvalis-search: the search of the window, without the window. Scans the
// numbered archive pictures for the viewfinder region of a query picture and
// reports each picture on standard output. Exit status as grep: 0 match,
// 1 none, 2 error.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/orvalis-search/merge.h"
#include "cli/orvalis-search/report.h"
#include "cli/orvalis-search/searchToolOptions.h"
#include "control/archiveWalk.h"
#include "matching/searchSteps.h"
#include "platform/stoppableThread.h"

namespace {

constexpr int kFoundExit = 0, kNotFoundExit = 1, kErrorExit = 2;

int fail(const std::string& message) {
  std::fprintf(stderr, "orvalis-search: %s\n", message.c_str());
  return kErrorExit;
}

// Writes one line to standard output and flushes it, so that a reader sees
// each picture as it is done. Returns false with the reason in error when the
// output is gone (a full disk, a closed pipe with SIGPIPE ignored): the
// results would be lost, so the caller stops at once.
bool writeLine(const std::string& line, std::string& error) {
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fputc('\n', stdout) == EOF ||
      std::fflush(stdout) != 0) {
    error = std::string("cannot write to standard output: ") +
            (errno != 0 ? std::strerror(errno) : "write error");
    return false;
  }
  return true;
}

// While a walk runs: a picture whose scan has taken more than a second gets
// a line a second on standard error saying how many of its rows are done,
// so that a long scan of a picture without texture is not mistaken for a
// hang. Reads only the workspace's progress counters.
class ScanProgress {
 public:
  explicit ScanProgress(const orvalis::Workspace& workspace) : workspace_(workspace) {
    thread_.start([this] { watch(); });
  }

 private:
  void watch() {
    using Clock = std::chrono::steady_clock;
    std::uint32_t picture = workspace_.scanPicture.load();
    Clock::time_point since = Clock::now(), lastLine = since;
    std::unique_lock<std::mutex> lock(thread_.mutex());
    while (!thread_.stopWithin(lock, std::chrono::milliseconds(200))) {
      const std::uint32_t now = workspace_.scanPicture.load();
      const Clock::time_point time = Clock::now();
      if (now != picture) {
        picture = now;
        since = time;
        continue;
      }
      if (time - since < std::chrono::seconds(1) || time - lastLine < std::chrono::seconds(1)) continue;
      const std::uint32_t rows = workspace_.scanRows.load(), done = workspace_.scanRowsDone.load();
      if (rows == 0) continue;
      std::fprintf(stderr, "orvalis-search: picture %u: %u of %u rows scanned\n", picture,
                   done < rows ? done : rows, rows);
      lastLine = time;
    }
  }

  const orvalis::Workspace& workspace_;
  orvalis::StoppableThread thread_;
};

// The lines of one picture or of the summary, in the words asked for.
std::string pictureText(const orvalis::SearchToolOptions& options, const orvalis::PictureResult& result) {
  return options.human ? orvalis::pictureLine(result) : orvalis::pictureJson(result);
}
std::string summaryText(const orvalis::SearchToolOptions& options, const orvalis::WalkSummary& summary) {
  return options.human ? orvalis::summaryLine(summary) : orvalis::summaryJson(summary);
}

// Joining shards searches nothing: the lines come from the files.
int mergeRun(const orvalis::SearchToolOptions& options) {
  using namespace orvalis;
  std::string error, outputError;
  WalkSummary summary;
  // After a failed write the rest is not written: the error ends the run.
  const auto print = [&](const PictureResult& result) {
    if (outputError.empty()) writeLine(pictureText(options, result), outputError);
  };
  if (!mergeShards(options.mergeFiles, options.all, print, summary, error)) return fail(error);
  if (!outputError.empty()) return fail(outputError);
  if (!writeLine(summaryText(options, summary), outputError)) return fail(outputError);
  return summary.matches > 0 ? kFoundExit : kNotFoundExit;
}

int searchRun(const orvalis::SearchToolOptions& options) {
  using namespace orvalis;
  // About 86 MB of buffers, allocated once; the worker threads and the fast
  // kernels' memory likewise.
  const auto workspace = std::make_unique<Workspace>();
  useKernels(*workspace, options.reference ? Kernels::Reference : Kernels::Fast);
  // Every failure of the start-up is an error, said in its own words.
  const SearchStart start = prepareSearch(*workspace, options);
  if (start.failure != StartFailure::None) return fail(start.message);

  // Progress once every two seconds, on a terminal or when asked for.
  const bool showProgress = options.progress || isatty(STDERR_FILENO);
  auto lastProgress = std::chrono::steady_clock::now();
  std::uint64_t scanned = 0, matches = 0;
  std::string outputError, viewsError;
  const auto onPicture = [&](const PictureResult& result) {
    if (result.matchFound && !options.viewsFolder.empty() && viewsError.empty()) {
      char number[16];
      std::snprintf(number, sizeof number, "/%010u", result.index);
      const std::string folder = options.all ? options.viewsFolder + number : options.viewsFolder;
      static_cast<void>(writeViewsOfMatch(*workspace, folder, viewsError));
    }
    if (!writeLine(pictureText(options, result), outputError)) return false;
    ++scanned;
    if (result.matchFound) ++matches;
    const auto now = std::chrono::steady_clock::now();
    if (showProgress && now - lastProgress >= std::chrono::seconds(2)) {
      std::fprintf(stderr, "orvalis-search: %llu pictures scanned, %llu with a match, now at %u\n",
                   static_cast<unsigned long long>(scanned), static_cast<unsigned long long>(matches),
                   result.index);
      lastProgress = now;
    }
    return true;
  };

  const ArchiveRange range{options.archiveFolder, options.first, options.last, options.all};
  WalkSummary summary;
  std::string error;
  // Views redraw archiveImage, where the next picture would be decoded.
  const bool decodeAhead = options.viewsFolder.empty();
  std::optional<ScanProgress> progress;
  if (showProgress) progress.emplace(*workspace);
  const bool walked = walkArchive(*workspace, range, onPicture, summary, error, decodeAhead);
  progress.reset();
  if (!walked) return fail(error);
  if (!outputError.empty()) return fail(outputError);
  if (!viewsError.empty()) return fail(viewsError);

  const std::string line = options.shard ? shardSummaryJson(summary, range) : summaryText(options, summary);
  if (!writeLine(line, outputError)) return fail(outputError);
  return summary.matches > 0 || options.shard ? kFoundExit : kNotFoundExit;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvalis;
  const ParsedSearchToolOptions parsed =
      parseSearchToolOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) return fail(parsed.error + " (see --help)");
  const SearchToolOptions& options = parsed.options;
  if (options.help) {
    if (std::fputs(searchToolUsage().c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
      return fail(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    return kFoundExit;
  }
  std::string outputError;
  if (options.version) {
    return writeLine(searchToolVersion(), outputError) ? kFoundExit : fail(outputError);
  }

  // "orvalis-search FOLDER" is orvalis-search run in FOLDER: every path,
  // the default ones and those of the options, is taken from there.
  if (!options.folder.empty() && ::chdir(options.folder.c_str()) != 0) {
    return fail("can't work in " + options.folder + ": " + std::strerror(errno));
  }
  return options.merge ? mergeRun(options) : searchRun(options);
}
