#include "imaging/circularMeanFilterFast.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "imaging/circularMeanFilter.h"
#include "platform/targetClones.h"
#include "platform/workerPool.h"
#include "state/constants.h"

namespace orvalis {

namespace {

constexpr int kMaxSide = 2 * static_cast<int>(kMaxFilterRadius) + 1;
// Output columns per tile: the prefix rows of one tile stay in the cache.
constexpr int kTileWidth = 2048;
constexpr int kPrefixLength = kTileWidth + kMaxSide;

// The disc as one run of ones per mask column: rows begin .. end - 1 of
// column b. (A disc's rows are runs too, and its ones are counted here.)
struct MaskSpans {
  int side = 0;
  int begin[kMaxSide] = {};
  int end[kMaxSide] = {};
};

// Reads the spans off the mask; false when a column's ones are not one run
// or the count is not the number of ones.
bool spansOfMask(const std::uint8_t* mask, int radius, std::uint32_t count, MaskSpans& spans) {
  const int side = 2 * radius + 1;
  spans.side = side;
  const auto cell = [&](int a, int b) { return mask[static_cast<std::size_t>(a) * side + b]; };
  std::uint32_t ones = 0;
  for (int b = 0; b < side; ++b) {
    int a = 0;
    while (a < side && cell(a, b) == 0) ++a;
    const int first = a;
    while (a < side && cell(a, b) == 1) ++a;
    const int last = a;
    while (a < side && cell(a, b) == 0) ++a;
    if (a != side) return false;  // a second run, or a cell neither 0 nor 1
    spans.begin[b] = first;
    spans.end[b] = first == side ? first : last;
    ones += static_cast<std::uint32_t>(spans.end[b] - spans.begin[b]);
  }
  return ones == count;
}

// Column prefix sums modulo 2^16, one row of them per input row: row y' holds,
// for every column, the sum of that column's inputs above y' (from the first
// row the lane reads). A span of at most 2R + 1 <= 41 bytes sums to at most
// 10455, so the difference of two rows modulo 2^16 is a column span's exact
// sum. A lane keeps the 2R + 2 rows the disc of one output row needs, as a
// ring indexed by row modulo 2R + 2.
constexpr int kRingRows = kMaxSide + 1;

}  // namespace

struct FilterMemory::Lane {
  std::uint16_t prefix[kRingRows][kPrefixLength];
  std::uint32_t sum[kTileWidth];
};

namespace {

using LaneMemory = FilterMemory::Lane;

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

// The next row of column prefixes: next = previous + the input row, modulo
// 2^16, for the length columns of a tile.
ORVALIS_TARGET_CLONES void nextPrefixRow(const std::uint8_t* row, const std::uint16_t* previous, int length,
                                         std::uint16_t* next) {
  for (int t = 0; t < length; ++t) next[t] = static_cast<std::uint16_t>(previous[t] + row[t]);
}

using Wide16 = std::uint16_t __attribute__((vector_size(64)));
using Half16 = std::uint16_t __attribute__((vector_size(32)));
using Wide32 = std::uint32_t __attribute__((vector_size(64)));
constexpr int kStrip = 32;  // outputs in one vector of partial sums
constexpr int kStrips = 4;  // vectors summed side by side in registers

// One output row of one tile: the disc sums of n outputs, then the rounding.
// hi[b] and lo[b] point at the prefix rows that bound column b's span, moved
// on by b. Up to `group` spans are added modulo 2^16 before widening, few
// enough that the 16-bit partial sum is still exact.
ORVALIS_TARGET_CLONES void filterRow(const std::uint16_t* const* hi, const std::uint16_t* const* lo, int side,
                                     int n, int group, double reciprocal, std::uint32_t* sum,
                                     std::uint8_t* out) {
  int x = 0;
  for (; x + kStrips * kStrip <= n; x += kStrips * kStrip) {
    Wide32 low[kStrips] = {}, high[kStrips] = {};
    for (int b0 = 0; b0 < side; b0 += group) {
      const int b1 = std::min(side, b0 + group);
      Wide16 partial[kStrips] = {};
      for (int b = b0; b < b1; ++b) {
        const std::uint16_t* top = hi[b] + x;
        const std::uint16_t* bottom = lo[b] + x;
        for (int k = 0; k < kStrips; ++k) {
          Wide16 t, u;
          std::memcpy(&t, top + k * kStrip, sizeof t);
          std::memcpy(&u, bottom + k * kStrip, sizeof u);
          partial[k] += t - u;
        }
      }
      for (int k = 0; k < kStrips; ++k) {
        const Half16 first = __builtin_shufflevector(partial[k], partial[k], 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                                     11, 12, 13, 14, 15);
        const Half16 second = __builtin_shufflevector(partial[k], partial[k], 16, 17, 18, 19, 20, 21, 22, 23,
                                                      24, 25, 26, 27, 28, 29, 30, 31);
        low[k] += __builtin_convertvector(first, Wide32);
        high[k] += __builtin_convertvector(second, Wide32);
      }
    }
    for (int k = 0; k < kStrips; ++k) {
      std::memcpy(sum + x + k * kStrip, &low[k], sizeof low[k]);
      std::memcpy(sum + x + k * kStrip + kStrip / 2, &high[k], sizeof high[k]);
    }
  }
  // Then one vector at a time.
  for (; x + kStrip <= n; x += kStrip) {
    Wide32 low = {}, high = {};
    for (int b0 = 0; b0 < side; b0 += group) {
      const int b1 = std::min(side, b0 + group);
      Wide16 partial = {};
      for (int b = b0; b < b1; ++b) {
        Wide16 t, u;
        std::memcpy(&t, hi[b] + x, sizeof t);
        std::memcpy(&u, lo[b] + x, sizeof u);
        partial += t - u;
      }
      const Half16 first =
          __builtin_shufflevector(partial, partial, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
      const Half16 second = __builtin_shufflevector(partial, partial, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
                                                    26, 27, 28, 29, 30, 31);
      low += __builtin_convertvector(first, Wide32);
      high += __builtin_convertvector(second, Wide32);
    }
    std::memcpy(sum + x, &low, sizeof low);
    std::memcpy(sum + x + kStrip / 2, &high, sizeof high);
  }
  // The last few outputs one at a time, each span exact on its own.
  for (; x < n; ++x) {
    std::uint32_t total = 0;
    for (int b = 0; b < side; ++b) total += static_cast<std::uint16_t>(hi[b][x] - lo[b][x]);
    sum[x] = total;
  }
  // floor(sum / count + 0.5): see discMeanByte.
  for (int i = 0; i < n; ++i) out[i] = discMeanByte(sum[i], reciprocal);
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
  const std::int64_t ringRows = side + 1;  // prefix rows kept: 2R + 2

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
      // Prefix rows y0 - R .. y0 + R + 1 for the first output row: a zero row
      // to start from (only differences count), then one per input row.
      std::fill(lm.prefix[(y0 - radius) % ringRows], lm.prefix[(y0 - radius) % ringRows] + length,
                std::uint16_t{0});
      for (std::int64_t r = y0 - radius; r <= y0 + radius; ++r) {
        nextPrefixRow(in + r * width + from, lm.prefix[r % ringRows], length, lm.prefix[(r + 1) % ringRows]);
      }
      for (std::int64_t y = y0; y < y1; ++y) {
        if (y > y0) {
          const std::int64_t r = y + radius;
          nextPrefixRow(in + r * width + from, lm.prefix[r % ringRows], length,
                        lm.prefix[(r + 1) % ringRows]);
        }
        const std::uint16_t* hi[kMaxSide];
        const std::uint16_t* lo[kMaxSide];
        int columns = 0;
        for (int b = 0; b < side; ++b) {
          if (spans->begin[b] == spans->end[b]) continue;
          hi[columns] = lm.prefix[(y - radius + spans->end[b]) % ringRows] + b;
          lo[columns] = lm.prefix[(y - radius + spans->begin[b]) % ringRows] + b;
          ++columns;
        }
        filterRow(hi, lo, columns, n, group, reciprocal, lm.sum, out + y * width + x0);
      }
    }
  }
}

}  // namespace

FilterMemory::FilterMemory(unsigned lanes) : lanes_(lanes), laneMemory_(std::make_unique<Lane[]>(lanes)) {}
FilterMemory::~FilterMemory() = default;

void circularMeanFilterFast(WorkerPool& pool, FilterMemory& memory, const std::uint8_t* blue,
                            const std::uint8_t* green, const std::uint8_t* red, std::uint8_t* filteredBlue,
                            std::uint8_t* filteredGreen, std::uint8_t* filteredRed, std::uint32_t width,
                            std::uint32_t height, std::uint32_t filterRadius, const std::uint8_t* discMask,
                            std::uint32_t discMaskCount) {
  MaskSpans spans;
  if (memory.lanes() < pool.lanes() || filterRadius > kMaxFilterRadius || discMaskCount % 2 == 0 ||
      !spansOfMask(discMask, static_cast<int>(filterRadius), discMaskCount, spans)) {
    circularMeanFilter(blue, green, red, filteredBlue, filteredGreen, filteredRed, width, height,
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

  Job job{{blue, green, red},
          {filteredBlue, filteredGreen, filteredRed},
          w,
          h,
          r,
          discMaskCount,
          &spans,
          pool.lanes(),
          memory.lanesBegin()};
  pool.run(job);
}

}  // namespace orvalis
