#pragma once

#include <cstdint>

namespace orvalis {

// The disc mask of the circular mean filter: a (2R + 1) x (2R + 1) grid of
// bytes, row-major, cell (a, b) at a x (2R + 1) + b, holding 1 where
// (a - R)^2 + (b - R)^2 <= R^2 (the boundary belongs to the disc) and 0
// elsewhere. discMaskCount receives the number of ones: 5 for R = 1, 13 for 2,
// 197 for 8, 1257 for 20; always odd, never 0.
// discMask must hold (2R + 1)^2 bytes; R is at most kMaxFilterRadius in this
// program, far inside the store's mask buffer.
void buildDiscMask(std::uint32_t filterRadius, std::uint8_t* discMask, std::uint32_t& discMaskCount);

// Smooths three planes of one picture with the mean over the disc mask built
// for the same filterRadius. Pixels within filterRadius of any border are
// copied unchanged; every other output byte is floor(sum / discMaskCount + 0.5)
// over exactly the input values under the mask's ones, the division in double.
// A picture with fewer than 2R + 1 rows or columns is copied whole. Inputs and
// outputs must not overlap. discMaskCount must be the count that buildDiscMask
// gave for this mask (never 0).
void circularMeanFilter(const std::uint8_t* blue, const std::uint8_t* green, const std::uint8_t* red,
                        std::uint8_t* filteredBlue, std::uint8_t* filteredGreen, std::uint8_t* filteredRed,
                        std::uint32_t width, std::uint32_t height, std::uint32_t filterRadius,
                        const std::uint8_t* discMask, std::uint32_t discMaskCount);

}  // namespace orvalis
