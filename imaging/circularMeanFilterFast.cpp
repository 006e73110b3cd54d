#include "imaging/circularMeanFilterFast.h"

#include <algorithm>
#include <atomic>
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
// Output columns of a tile: as many as keep its ring of prefix rows within
// this many bytes, so that the spans of a row are read from the first-level
// cache, and no more than kMaxTile.
constexpr int kRingBytes = 24 * 1024;
constexpr int kMaxTile = 2048;
constexpr int kVector = 16;  // 16-bit lanes in one vector of partial sums
constexpr int kChunk = 64;   // outputs summed side by side in registers

// The widest tile for a disc of the given side.
constexpr int widestTile(int side) {
  const int fits = kRingBytes / (2 * (side + 1)) - (side - 1);
  return std::clamp(fits / kChunk * kChunk, kChunk, kMaxTile);
}

// Prefix rows are this many elements apart in a tile of n columns.
constexpr int prefixStride(int n, int side) {
  return (n + side - 1 + kVector - 1) / kVector * kVector;
}

// The largest ring of any radius, in elements. A lane keeps the 2R + 2
// prefix rows that bound the spans of one output row, as a ring indexed by
// row modulo 2R + 2.
constexpr int largestRing() {
  int largest = 0;
  for (int side = 1; side <= kMaxSide; side += 2) {
    largest = std::max(largest, (side + 1) * prefixStride(widestTile(side), side));
  }
  return largest;
}

// Rows of output one piece of work covers; the lanes take pieces as they
// come free, so that a lane slowed by other threads on its core holds the
// others up by one piece at most.
constexpr std::int64_t kPieceRows = 64;
// Input rows read ahead of the one added to the prefix sums.
constexpr std::int64_t kAhead = 2;

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

}  // namespace

// Column prefix sums modulo 2^16, one row of them per input row: row y' holds,
// for every column of the tile, the sum of that column's inputs above y'
// (from the first row the piece reads). A column span of at most 2R + 1 <= 41
// bytes sums to at most 10455, so the difference of two rows modulo 2^16 is
// its exact sum.
struct FilterMemory::Lane {
  std::uint16_t prefix[largestRing()];
  std::uint32_t sum[kVector];  // the sums of a tile narrower than a vector
};

namespace {

using LaneMemory = FilterMemory::Lane;

using Vector16 = std::uint16_t __attribute__((vector_size(2 * kVector)));
using Vector32 = std::uint32_t __attribute__((vector_size(2 * kVector)));

// The next row of column prefixes: next = previous + the input row, modulo
// 2^16, for the length columns of a tile.
ORVALIS_TARGET_CLONES void nextPrefixRow(const std::uint8_t* row, const std::uint16_t* previous, int length,
                                         std::uint16_t* next) {
  for (int t = 0; t < length; ++t) next[t] = static_cast<std::uint16_t>(previous[t] + row[t]);
}

using Float32 = float __attribute__((vector_size(2 * kVector)));
using Int32 = std::int32_t __attribute__((vector_size(2 * kVector)));
using Bytes16 = std::uint8_t __attribute__((vector_size(kVector)));

// Adds 16 partial sums, widened to 32 bits, to first (the first 8) and last.
// (Vectors wider than 16 bytes go by reference: their passing by value is
// not the same with and without AVX.)
inline __attribute__((always_inline)) void addWidened(const Vector16& partial, Vector32& first,
                                                      Vector32& last) {
  const Vector16 zero = {};
  first += reinterpret_cast<Vector32>(
      __builtin_shufflevector(partial, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23));
  last += reinterpret_cast<Vector32>(
      __builtin_shufflevector(partial, zero, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31));
}

// discMeanByte of 16 sums at once, the first 8 in first.
inline __attribute__((always_inline)) Bytes16 meanBytes(const Vector32& first, const Vector32& last,
                                                        float reciprocal) {
  const Int32 a = __builtin_convertvector(
      __builtin_convertvector(reinterpret_cast<Int32>(first), Float32) * reciprocal + 0.5f, Int32);
  const Int32 b = __builtin_convertvector(
      __builtin_convertvector(reinterpret_cast<Int32>(last), Float32) * reciprocal + 0.5f, Int32);
  const Vector16 packed =
      __builtin_shufflevector(reinterpret_cast<Vector16>(a), reinterpret_cast<Vector16>(b), 0, 2, 4, 6, 8, 10,
                              12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
  return __builtin_convertvector(packed, Bytes16);
}

// The outputs at .. at + kParts * kVector - 1 of a row (see discRow).
template <int kParts>
inline __attribute__((always_inline)) void discChunk(const std::uint16_t* const* hi,
                                                     const std::uint16_t* const* lo, const int* groupEnd,
                                                     int groups, int at, float reciprocal,
                                                     std::uint8_t* out) {
  Vector32 first[kParts] = {}, last[kParts] = {};
  int b = 0;
  for (int g = 0; g < groups; ++g) {
    Vector16 partial[kParts] = {};
    for (; b < groupEnd[g]; ++b) {
      const std::uint16_t* top = hi[b] + at;
      const std::uint16_t* bottom = lo[b] + at;
      for (int k = 0; k < kParts; ++k) {
        Vector16 t, u;
        std::memcpy(&t, top + k * kVector, sizeof t);
        std::memcpy(&u, bottom + k * kVector, sizeof u);
        partial[k] += t - u;
      }
    }
    for (int k = 0; k < kParts; ++k) addWidened(partial[k], first[k], last[k]);
  }
  for (int k = 0; k < kParts; ++k) {
    const Bytes16 bytes = meanBytes(first[k], last[k], reciprocal);
    std::memcpy(out + at + k * kVector, &bytes, sizeof bytes);
  }
}

// n >= kVector outputs of one row. hi[b] and lo[b] point at the prefix rows
// that bound column b's span, moved on by b; the columns come in groups
// (group g ends before column groupEnd[g]) whose spans hold at most
// 65535 / 255 ones together, so that a group's sum is exact in 16 bits and
// is widened once. Outputs go kChunk at a time, the last chunk moved back to
// end at n (its overlap is written twice, alike).
ORVALIS_TARGET_CLONES void discRow(const std::uint16_t* const* hi, const std::uint16_t* const* lo,
                                   const int* groupEnd, int groups, int n, float reciprocal,
                                   std::uint8_t* out) {
  if (n < kChunk) {
    for (int x = 0; x < n; x += kVector) {
      discChunk<1>(hi, lo, groupEnd, groups, std::min(x, n - kVector), reciprocal, out);
    }
    return;
  }
  for (int x = 0; x < n; x += kChunk) {
    discChunk<kChunk / kVector>(hi, lo, groupEnd, groups, std::min(x, n - kChunk), reciprocal, out);
  }
}

struct Job {
  const std::uint8_t* source[3];
  std::uint8_t* target[3];
  std::int64_t width, height, radius;
  float reciprocal;
  const MaskSpans* spans;
  int groups;
  int groupEnd[kMaxSide];
  int spanColumn[kMaxSide];  // the mask columns with a span, in order
  std::int64_t tileWidth, tiles, pieceRows, rowPieces;
  LaneMemory* memory;
  std::atomic<std::int64_t> nextPiece{0};
  void operator()(unsigned lane);
  void piece(LaneMemory& lm, int c, std::int64_t x0, int n, std::int64_t y0, std::int64_t y1) const;
};

// Output rows y0 .. y1 - 1, columns x0 .. x0 + n - 1 of plane c.
void Job::piece(LaneMemory& lm, int c, std::int64_t x0, int n, std::int64_t y0, std::int64_t y1) const {
  const std::uint8_t* in = source[c];
  std::uint8_t* out = target[c];
  const int side = spans->side;
  const int ringRows = side + 1;
  const int length = n + side - 1;  // input columns of the tile
  const std::int64_t stride = prefixStride(n, side);
  const std::int64_t from = x0 - radius;  // first input column of the tile
  // Prefix row y0 - R + k lives in slot k modulo 2R + 2. The rows for the
  // first output row: a zero row to start from (only differences count),
  // then one per input row.
  const auto slotRow = [&](int slot) { return lm.prefix + slot * stride; };
  std::fill(slotRow(0), slotRow(0) + length, std::uint16_t{0});
  for (int k = 0; k < 2 * radius; ++k) {
    nextPrefixRow(in + (y0 - radius + k) * width + from, slotRow(k), length, slotRow(k + 1));
  }
  const std::uint16_t* hi[kMaxSide];
  const std::uint16_t* lo[kMaxSide];
  int top = 0;  // the slot of prefix row y - R
  for (std::int64_t y = y0; y < y1; ++y, top = top + 1 == ringRows ? 0 : top + 1) {
    // Prefix row y - R + k, for k up to 2R + 1.
    const auto prefixRow = [&](int k) { return slotRow(top + k >= ringRows ? top + k - ringRows : top + k); };
    // The input row two rows on is asked for now: the rows of a tile are too
    // short and too far apart for the processor to see the pattern itself.
    if (y + radius + kAhead < height) {
      const std::uint8_t* ahead = in + (y + radius + kAhead) * width + from;
      for (int t = 0; t < length; t += 64) __builtin_prefetch(ahead + t);
    }
    nextPrefixRow(in + (y + radius) * width + from, prefixRow(side - 1), length, prefixRow(side));
    std::uint8_t* row = out + y * width + x0;
    if (n < kVector) {
      for (int t = 0; t < n; ++t) {
        std::uint32_t total = 0;
        for (int b = 0; b < side; ++b) {
          total +=
              static_cast<std::uint16_t>(prefixRow(spans->end[b])[t + b] - prefixRow(spans->begin[b])[t + b]);
        }
        lm.sum[t] = total;
      }
      discMeanBytes(lm.sum, n, reciprocal, row);
      continue;
    }
    for (int k = 0; k < groupEnd[groups - 1]; ++k) {
      const int b = spanColumn[k];
      hi[k] = prefixRow(spans->end[b]) + b;
      lo[k] = prefixRow(spans->begin[b]) + b;
    }
    discRow(hi, lo, groupEnd, groups, n, reciprocal, row);
  }
}

void Job::operator()(unsigned lane) {
  LaneMemory& lm = memory[lane];
  const std::int64_t perPlane = tiles * rowPieces;
  for (;;) {
    const std::int64_t p = nextPiece.fetch_add(1, std::memory_order_relaxed);
    if (p >= 3 * perPlane) return;
    const int c = static_cast<int>(p / perPlane);
    const std::int64_t tile = p % perPlane % tiles, rows = p % perPlane / tiles;
    const std::int64_t y0 = radius + rows * pieceRows;
    const std::int64_t y1 = std::min(height - radius, y0 + pieceRows);
    const std::int64_t x0 = radius + tile * tileWidth;
    const int n = static_cast<int>(std::min(tileWidth, width - radius - x0));
    piece(lm, c, x0, n, y0, y1);
    if (tile == 0) {
      // The border columns of these rows are copied as they are.
      for (std::int64_t y = y0; y < y1; ++y) {
        const std::size_t at = static_cast<std::size_t>(y * width);
        std::memcpy(target[c] + at, source[c] + at, static_cast<std::size_t>(radius));
        std::memcpy(target[c] + at + width - radius, source[c] + at + width - radius,
                    static_cast<std::size_t>(radius));
      }
    }
  }
}

}  // namespace

ORVALIS_TARGET_CLONES void discMeanBytes(const std::uint32_t* sum, int n, float reciprocal,
                                         std::uint8_t* out) {
  int i = 0;
  for (; i + kVector <= n; i += kVector) {
    Vector32 first, last;
    std::memcpy(&first, sum + i, sizeof first);
    std::memcpy(&last, sum + i + kVector / 2, sizeof last);
    const Bytes16 bytes = meanBytes(first, last, reciprocal);
    std::memcpy(out + i, &bytes, sizeof bytes);
  }
  for (; i < n; ++i) out[i] = discMeanByte(sum[i], reciprocal);
}

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

  Job job{};
  for (int c = 0; c < 3; ++c) {
    job.source[c] = source[c];
    job.target[c] = target[c];
  }
  job.width = w;
  job.height = h;
  job.radius = r;
  job.reciprocal = 1.0f / static_cast<float>(discMaskCount);
  job.spans = &spans;
  // Columns with a span, grouped while the group's ones stay within 65535 / 255.
  int columns = 0, ones = 0;
  job.groups = 0;
  for (int b = 0; b < spans.side; ++b) {
    const int length = spans.end[b] - spans.begin[b];
    if (length == 0) continue;
    if (columns > 0 && (ones + length) * 255 > 65535) {
      job.groupEnd[job.groups++] = columns;
      ones = 0;
    }
    job.spanColumn[columns++] = b;
    ones += length;
  }
  job.groupEnd[job.groups++] = columns;
  // Tiles of equal width, each within kMaxTile and its ring within kRingBytes.
  const std::int64_t interior = w - 2 * r;
  const std::int64_t widest = widestTile(spans.side);
  job.tiles = (interior + widest - 1) / widest;
  job.tileWidth =
      std::min(widest, ((interior + job.tiles - 1) / job.tiles + kVector - 1) / kVector * kVector);
  job.pieceRows = kPieceRows;
  job.rowPieces = (h - 2 * r + kPieceRows - 1) / kPieceRows;
  job.memory = memory.lanesBegin();
  pool.run(job);
}

}  // namespace orvalis
