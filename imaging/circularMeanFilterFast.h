#pragma once

#include <cstdint>
#include <memory>

#include "platform/workerPool.h"

namespace orvalis {

// The filter's working memory: one block of column prefix sums per lane of
// the pool it is made for (about 25 kB a lane), made once, never on a tick.
class FilterMemory {
 public:
  explicit FilterMemory(unsigned lanes);
  ~FilterMemory();
  FilterMemory(const FilterMemory&) = delete;
  FilterMemory& operator=(const FilterMemory&) = delete;

  struct Lane;
  unsigned lanes() const { return lanes_; }
  Lane* lanesBegin() { return laneMemory_.get(); }

 private:
  unsigned lanes_;
  std::unique_ptr<Lane[]> laneMemory_;
};

// The circular mean filter of circularMeanFilter, computed from running column
// sums and shared out to the worker pool in pieces of rows and columns (memory made for at least its lanes).
// Same arguments, same output byte for byte: each output is the exact integer sum over the mask's ones
// (gathered as one span per mask column, each span a difference of two column prefix sums), rounded as
// floor(sum / discMaskCount + 0.5). A mask
// whose columns are not single runs of ones, or whose count is not the number of its ones, is handed to
// circularMeanFilter as it is.
void circularMeanFilterFast(WorkerPool& pool, FilterMemory& memory, const std::uint8_t* blue,
                            const std::uint8_t* green, const std::uint8_t* red, std::uint8_t* filteredBlue,
                            std::uint8_t* filteredGreen, std::uint8_t* filteredRed, std::uint32_t width,
                            std::uint32_t height, std::uint32_t filterRadius, const std::uint8_t* discMask,
                            std::uint32_t discMaskCount);

// The output byte of a disc sum, floor(sum / count + 0.5), for an odd count,
// from the reciprocal of the count in single precision: the exact quotient
// plus a half is (2 sum + count) / (2 count), an odd numerator over an even
// denominator, so it lies at least 1 / (2 count) (1 / 2514 for the largest
// disc) from every whole number. The sum (below 2^24) converts exactly; the
// rounded reciprocal and product err by 2^-24 each, at most 255 * 2^-23 in
// all, and adding the half by at most half a step at 256, 2^-17: together
// under 4e-5, so the result falls on the same side of every whole number.
// Eight of them fit a vector where a division form takes several times as
// long.
inline std::uint8_t discMeanByte(std::uint32_t sum, float reciprocal) {
  return static_cast<std::uint8_t>(
      static_cast<std::int32_t>(static_cast<float>(static_cast<std::int32_t>(sum)) * reciprocal + 0.5f));
}

// discMeanByte of n sums, as the filter rounds its rows.
void discMeanBytes(const std::uint32_t* sum, int n, float reciprocal, std::uint8_t* out);

}  // namespace orvalis
