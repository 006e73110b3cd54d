#pragma once

#include <cstdint>
#include <memory>

#include "platform/workerPool.h"

namespace orvalis {

// The filter's working memory: one block of column prefix sums per lane of
// the pool it is made for (about 250 kB a lane), made once, never on a tick.
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
// sums and split across the worker pool (memory made for at least its lanes). Same arguments, same output
// byte for byte: each output is the exact integer sum over the mask's ones (gathered as one span per mask
// row, each span a difference of two column prefix sums), rounded as floor(sum / discMaskCount + 0.5). A mask
// whose rows are not single runs of ones, or whose count is not the number of its ones, is handed to
// circularMeanFilter as it is.
void circularMeanFilterFast(WorkerPool& pool, FilterMemory& memory, const std::uint8_t* blue,
                            const std::uint8_t* green, const std::uint8_t* red, std::uint8_t* filteredBlue,
                            std::uint8_t* filteredGreen, std::uint8_t* filteredRed, std::uint32_t width,
                            std::uint32_t height, std::uint32_t filterRadius, const std::uint8_t* discMask,
                            std::uint32_t discMaskCount);

// The output byte of a disc sum, floor(sum / count + 0.5), for an odd count,
// from the reciprocal of the count: the exact quotient plus a half is
// (2 sum + count) / (2 count), an odd numerator over an even denominator, so
// it lies at least 1 / (2 count) (1 / 2514 for the largest disc) from every
// whole number; a product with the rounded reciprocal errs by less than 1e-13
// at these magnitudes and so falls on the same side of it. The division form
// costs several times as much in the pixel loop.
inline std::uint8_t discMeanByte(std::uint32_t sum, double reciprocal) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(static_cast<double>(sum) * reciprocal + 0.5));
}

}  // namespace orvalis
