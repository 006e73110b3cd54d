#include "control/searchSequence.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>

#include "matching/ringSignature.h"
#include "matching/searchSteps.h"

namespace orvalis {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

namespace {

using Clock = std::chrono::steady_clock;

// Where a picture line goes: a stream, or text of size bytes (size 0: only
// the length is wanted).
struct LineSink {
  std::FILE* out = nullptr;
  char* text = nullptr;
  std::size_t size = 0;
};

// printf into the sink; the number of characters of the whole output, or a
// negative value on a failed write.
[[gnu::format(printf, 2, 3)]] int print(const LineSink& sink, const char* format, ...) {
  va_list values;
  va_start(values, format);
  const int length = sink.out != nullptr ? std::vfprintf(sink.out, format, values)
                                         : std::vsnprintf(sink.text, sink.size, format, values);
  va_end(values);
  return length;
}

// The sink past the first `length` characters written into it.
LineSink at(const LineSink& sink, int length) {
  if (sink.out != nullptr || sink.size == 0 || length < 0) return sink.out != nullptr ? sink : LineSink{};
  const std::size_t done =
      static_cast<std::size_t>(length) < sink.size ? static_cast<std::size_t>(length) : sink.size - 1;
  return LineSink{nullptr, sink.text + done, sink.size - done};
}

int add(int length, int more) {
  return length < 0 || more < 0 ? -1 : length + more;
}

// With a profile: every copy with its turn, scale and score.
int printProfiledLine(const LineSink& sink, const PictureResult& result) {
  int length = print(sink, "%s  %ux%u", result.file.c_str(), result.width, result.height);
  if (result.matchCount == 0) length = add(length, print(at(sink, length), "  no match"));
  for (std::uint32_t m = 0; m < result.matchCount && length >= 0; ++m) {
    const FoundMatch& match = result.matches[m];
    length =
        add(length,
            print(at(sink, length), "%s at column %u, row %u, turned %.2f degrees, scale %.3f, score %.2f",
                  m == 0 ? "  MATCH" : ";", match.x, match.y, match.angleDeg, match.scale, match.score));
  }
  return add(length,
             print(at(sink, length), "  (filter %.1f ms, scan %.1f ms)", result.filterMs, result.scanMs));
}

int printPictureLine(const LineSink& sink, const PictureResult& result) {
  if (result.profiled) return printProfiledLine(sink, result);
  if (result.matchFound) {
    return print(sink,
                 "%s  %ux%u  MATCH at column %u, row %u, turned %.2f degrees  (filter %.1f ms, scan %.1f ms)",
                 result.file.c_str(), result.width, result.height, result.matchX, result.matchY,
                 result.matchAngleDeg, result.filterMs, result.scanMs);
  }
  return print(sink, "%s  %ux%u  no match  (filter %.1f ms, scan %.1f ms)", result.file.c_str(), result.width,
               result.height, result.filterMs, result.scanMs);
}

}  // namespace

bool buildTemplate(Workspace& workspace) {
  splitQueryPlanes(workspace);
  // Both always run: a refused signature leaves the histograms empty rather
  // than stale.
  const bool signature = buildTemplateSignature(workspace);
  const bool histograms = buildTemplateHistograms(workspace.state);
  return signature && histograms;
}

bool processArchivePicture(Workspace& workspace, PictureResult& result,
                           const std::function<void()>& afterSplit) {
  SearchState& state = workspace.state;
  result.width = state.archiveWidth;
  result.height = state.archiveHeight;
  result.matchFound = false;

  Clock::time_point start = Clock::now();
  splitArchivePlanes(workspace);
  if (afterSplit) afterSplit();
  if (!filterArchiveImage(workspace)) return false;
  result.filterMs = millisecondsSince(start);

  start = Clock::now();
  const double radius = static_cast<double>(state.viewfinderRadius);
  result.profiled = workspace.profile.given;
  result.matchesWanted = workspace.profile.matches;
  result.matchFound = result.profiled ? findMatches(workspace, radius) : scanArchiveImage(workspace, radius);
  result.scanMs = millisecondsSince(start);
  result.matchCount = result.profiled ? workspace.foundCount : 0;
  for (std::uint32_t m = 0; m < result.matchCount; ++m) result.matches[m] = workspace.found[m];
  if (result.matchFound) {
    result.matchX = state.matchX;
    result.matchY = state.matchY;
    result.matchAngle = state.matchAngle;
    result.matchAngleDeg = state.consensusAngleDeg;
  }
  return true;
}

bool writePictureLine(std::FILE* out, const PictureResult& result) {
  return printPictureLine(LineSink{out, nullptr, 0}, result) >= 0 && std::fputc('\n', out) != EOF;
}

std::string pictureLineText(const PictureResult& result) {
  const int length = printPictureLine(LineSink{}, result);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  // The terminating NUL goes into the string's own spare byte.
  printPictureLine(LineSink{nullptr, text.data(), text.size() + 1}, result);
  return text;
}

}  // namespace orvalis
