#pragma once

#include <cstdint>

#include "tests/support/testSupport.h"

namespace orvalis::testing {

// A copy of background with the square of half-size halfSize around the
// source point pasted on the target point, turned by a quarter pixel for
// pixel (target offset (dy, dx) shows source offset (-dx, dy)): the search
// reports it turned by 90 degrees. Pixels outside either picture are skipped.
BgrPicture pasteQuarterTurn(const BgrPicture& source, std::int64_t sourceRow, std::int64_t sourceColumn,
                            const BgrPicture& background, std::int64_t targetRow, std::int64_t targetColumn,
                            std::int64_t halfSize);

// A copy of background with the disc of the given reach around the source
// point pasted on the target point grown by scale and turned by degrees (as
// the search reports the turn), resampled bilinearly, each channel then put
// under gain x value + offset.
BgrPicture pasteScaled(const BgrPicture& source, double sourceRow, double sourceColumn, BgrPicture background,
                       int targetRow, int targetColumn, double reach, double scale, double degrees,
                       double gain = 1, double offset = 0);

}  // namespace orvalis::testing
