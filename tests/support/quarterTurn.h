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

}  // namespace orvalis::testing
