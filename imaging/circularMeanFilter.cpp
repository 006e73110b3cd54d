#include "imaging/circularMeanFilter.h"

#include <cmath>
#include <cstddef>

namespace orvalis {

void buildDiscMask(std::uint32_t filterRadius, std::uint8_t* discMask, std::uint32_t& discMaskCount) {
  const std::int64_t r = filterRadius;
  const std::int64_t side = 2 * r + 1;
  std::uint32_t count = 0;
  for (std::int64_t a = 0; a < side; ++a) {
    for (std::int64_t b = 0; b < side; ++b) {
      // Closed disc: cells exactly at distance R are in.
      const bool inside = (a - r) * (a - r) + (b - r) * (b - r) <= r * r;
      discMask[a * side + b] = inside ? 1 : 0;
      if (inside) ++count;
    }
  }
  discMaskCount = count;
}

void circularMeanFilter(const std::uint8_t* blue, const std::uint8_t* green, const std::uint8_t* red,
                        std::uint8_t* filteredBlue, std::uint8_t* filteredGreen, std::uint8_t* filteredRed,
                        std::uint32_t width, std::uint32_t height, std::uint32_t filterRadius,
                        const std::uint8_t* discMask, std::uint32_t discMaskCount) {
  // Signed arithmetic throughout: h - 1 - R is negative for pictures smaller
  // than the mask, which then have no interior at all.
  const std::int64_t r = filterRadius;
  const std::int64_t h = height;
  const std::int64_t w = width;
  const std::int64_t side = 2 * r + 1;
  const double count = static_cast<double>(discMaskCount);

  for (std::int64_t y = 0; y < h; ++y) {
    for (std::int64_t x = 0; x < w; ++x) {
      const std::size_t at = static_cast<std::size_t>(y * w + x);

      // Border band: copied as it is.
      if (y < r || y > h - 1 - r || x < r || x > w - 1 - r) {
        filteredBlue[at] = blue[at];
        filteredGreen[at] = green[at];
        filteredRed[at] = red[at];
        continue;
      }

      // Interior: exact integer sums over the mask's ones, in mask order.
      std::uint32_t sumBlue = 0, sumGreen = 0, sumRed = 0;
      for (std::int64_t a = 0; a < side; ++a) {
        for (std::int64_t b = 0; b < side; ++b) {
          if (discMask[a * side + b] != 1) continue;
          const std::size_t source = static_cast<std::size_t>((y - r + a) * w + (x - r + b));
          sumBlue += blue[source];
          sumGreen += green[source];
          sumRed += red[source];
        }
      }
      filteredBlue[at] = static_cast<std::uint8_t>(std::floor(sumBlue / count + 0.5));
      filteredGreen[at] = static_cast<std::uint8_t>(std::floor(sumGreen / count + 0.5));
      filteredRed[at] = static_cast<std::uint8_t>(std::floor(sumRed / count + 0.5));
    }
  }
}

}  // namespace orvalis
