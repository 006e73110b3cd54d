#include "imaging/circularMeanFilterFast.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "core/constants.h"
#include "core/workerPool.h"
#include "imaging/circularMeanFilter.h"

namespace orvalis {

namespace {

constexpr int kMaxSide = 2 * static_cast<int>(kMaxFilterRadius) + 1;
// Output columns per tile: the prefix rows of one tile stay in the cache.
constexpr int kTileWidth = 2048;
constexpr int kPrefixLength = kTileWidth + kMaxSide;

// The disc as one run of ones per mask row: cells begin .. end - 1 of row a.
struct MaskSpans {
  int side = 0;
  int begin[kMaxSide] = {};
  int end[kMaxSide] = {};
};

// Reads the spans off the mask; false when a row's ones are not one run or
// the count is not the number of ones.
bool spansOfMask(const std::uint8_t* mask, int radius, std::uint32_t count, MaskSpans& spans) {
  const int side = 2 * radius + 1;
  spans.side = side;
  std::uint32_t ones = 0;
  for (int a = 0; a < side; ++a) {
    const std::uint8_t* row = mask + static_cast<std::size_t>(a) * side;
    int b = 0;
    while (b < side && row[b] == 0) ++b;
    const int first = b;
    while (b < side && row[b] == 1) ++b;
    const int last = b;
    while (b < side && row[b] == 0) ++b;
    if (b != side) return false;  // a second run, or a cell neither 0 nor 1
    spans.begin[a] = first;
    spans.end[a] = first == side ? first : last;
    ones += static_cast<std::uint32_t>(spans.end[a] - spans.begin[a]);
  }
  return ones == count;
}

// Working memory of one lane: the prefix rows of the 2R + 1 input rows under
// the disc (a ring indexed by row modulo 2R + 1) and the output sums.
struct LaneMemory {
  std::uint16_t prefix[kMaxSide][kPrefixLength];
  std::uint16_t partial[kTileWidth];
  std::uint32_t sum[kTileWidth];
};

struct FilterMemory {
  explicit FilterMemory(unsigned laneCount) : lanes(std::make_unique<LaneMemory[]>(laneCount)) {}
  std::unique_ptr<LaneMemory[]> lanes;
};

FilterMemory& filterMemory() {
  static FilterMemory* const memory = new FilterMemory(workerPool().lanes());
  return *memory;
}

struct Job {
  const std::uint8_t* source[3];
  std::uint8_t* target[3];
  std::int64_t width, height, radius;
  std::uint32_t count;
  const MaskSpans* spans;
  unsigned lanes;
  LaneMemory* memory;
  void operator()(unsigned lane);
};

// Row prefix sums modulo 2^16 of input columns from .. from + length - 1:
// prefix[t] = sum of the first t values. A span of at most 2R + 1 <= 41
// bytes sums to at most 10455, so the difference of two prefixes modulo 2^16
// is the span's exact sum.
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void prefixRow(
    const std::uint8_t* row, int length, std::uint16_t* prefix) {
  std::uint16_t running = 0;
  prefix[0] = 0;
  for (int t = 0; t < length; ++t) {
    running = static_cast<std::uint16_t>(running + row[t]);
    prefix[t + 1] = running;
  }
}

// One output row of one tile: the disc sums of n outputs, then the rounding.
// Up to `group` spans are added modulo 2^16 before widening, few enough that
// the 16-bit partial sum is still exact.
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void filterRow(
    LaneMemory& memory, const MaskSpans& spans, std::int64_t firstInputRow, int n, int group,
    double reciprocal, std::uint8_t* out) {
  const int side = spans.side;
  std::uint32_t* sum = memory.sum;
  std::uint16_t* partial = memory.partial;
  for (int x = 0; x < n; ++x) sum[x] = 0;
  for (int a0 = 0; a0 < side; a0 += group) {
    const int a1 = std::min(side, a0 + group);
    for (int x = 0; x < n; ++x) partial[x] = 0;
    for (int a = a0; a < a1; ++a) {
      if (spans.begin[a] == spans.end[a]) continue;
      const std::uint16_t* row = memory.prefix[(firstInputRow + a) % side];
      const std::uint16_t* hi = row + spans.end[a];
      const std::uint16_t* lo = row + spans.begin[a];
      for (int x = 0; x < n; ++x) partial[x] = static_cast<std::uint16_t>(partial[x] + (hi[x] - lo[x]));
    }
    for (int x = 0; x < n; ++x) sum[x] += partial[x];
  }
  // floor(sum / count + 0.5): see discMeanByte.
  for (int x = 0; x < n; ++x) {
    out[x] = discMeanByte(sum[x], reciprocal);
  }
}

void Job::operator()(unsigned lane) {
  const std::int64_t interiorRows = height - 2 * radius;
  const std::int64_t band = (interiorRows + lanes - 1) / lanes;
  const std::int64_t y0 = radius + band * lane;
  const std::int64_t y1 = std::min(height - radius, y0 + band);
  if (y0 >= y1) return;
  const int side = spans->side;
  const int group = static_cast<int>(65535 / (255 * side));
  const double reciprocal = 1.0 / static_cast<double>(count);
  LaneMemory& lm = memory[lane];

  for (int c = 0; c < 3; ++c) {
    const std::uint8_t* in = source[c];
    std::uint8_t* out = target[c];
    // The border columns of this band's rows are copied as they are.
    for (std::int64_t y = y0; y < y1; ++y) {
      const std::size_t at = static_cast<std::size_t>(y * width);
      std::memcpy(out + at, in + at, static_cast<std::size_t>(radius));
      std::memcpy(out + at + width - radius, in + at + width - radius, static_cast<std::size_t>(radius));
    }
    for (std::int64_t x0 = radius; x0 < width - radius; x0 += kTileWidth) {
      const int n = static_cast<int>(std::min<std::int64_t>(kTileWidth, width - radius - x0));
      const std::int64_t from = x0 - radius;  // first input column of the tile
      const int length = n + side - 1;
      // Prefix rows of the inputs under the first output row of the band.
      for (std::int64_t r = y0 - radius; r < y0 + radius; ++r) {
        prefixRow(in + r * width + from, length, lm.prefix[r % side]);
      }
      for (std::int64_t y = y0; y < y1; ++y) {
        const std::int64_t newest = y + radius;
        prefixRow(in + newest * width + from, length, lm.prefix[newest % side]);
        filterRow(lm, *spans, y - radius, n, group, reciprocal, out + y * width + x0);
      }
    }
  }
}

}  // namespace

void prepareCircularMeanFilterFast() {
  filterMemory();
}

void circularMeanFilterFast(const std::uint8_t* blue, const std::uint8_t* green, const std::uint8_t* red,
                            std::uint8_t* filteredBlue, std::uint8_t* filteredGreen,
                            std::uint8_t* filteredRed, std::uint32_t height, std::uint32_t width,
                            std::uint32_t filterRadius, const std::uint8_t* discMask,
                            std::uint32_t discMaskCount) {
  MaskSpans spans;
  if (filterRadius > kMaxFilterRadius || discMaskCount % 2 == 0 ||
      !spansOfMask(discMask, static_cast<int>(filterRadius), discMaskCount, spans)) {
    circularMeanFilter(blue, green, red, filteredBlue, filteredGreen, filteredRed, height, width,
                       filterRadius, discMask, discMaskCount);
    return;
  }
  const std::int64_t r = filterRadius, h = height, w = width;
  const std::size_t plane = static_cast<std::size_t>(h * w);
  const std::uint8_t* source[3] = {blue, green, red};
  std::uint8_t* target[3] = {filteredBlue, filteredGreen, filteredRed};

  // Too small for an interior: a copy.
  if (h < 2 * r + 1 || w < 2 * r + 1) {
    for (int c = 0; c < 3; ++c) std::memcpy(target[c], source[c], plane);
    return;
  }
  // The top and bottom bands are copied; each lane copies the side bands of
  // its rows.
  const std::size_t band = static_cast<std::size_t>(r * w);
  for (int c = 0; c < 3; ++c) {
    std::memcpy(target[c], source[c], band);
    std::memcpy(target[c] + plane - band, source[c] + plane - band, band);
  }

  WorkerPool& pool = workerPool();
  Job job{{blue, green, red},
          {filteredBlue, filteredGreen, filteredRed},
          w,
          h,
          r,
          discMaskCount,
          &spans,
          pool.lanes(),
          filterMemory().lanes.get()};
  pool.run(job);
}

}  // namespace orvalis
