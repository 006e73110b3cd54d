#pragma once

#include <cstdint>

#include "tests/support/testSupport.h"

namespace orvalis::testing {

// Pastes the square of half-size halfSize around (sourceRow, sourceColumn) of
// source, turned by a quarter pixel for pixel, into a copy of background
// centred on (targetRow, targetColumn): the result at offset (dy, dx) from the
// target centre is the source at offset (-dx, dy) from the source centre.
// Seen through the ring sampling, whose angles start at the top and grow to
// the left, a ring sample at angle a around the target shows the source ring
// sample at angle a + 90 degrees, so the search reports 90 degrees.
// Pixels of the square whose source or target lies outside a picture are
// skipped.
BgrPicture pasteQuarterTurn(const BgrPicture& source, std::int64_t sourceRow, std::int64_t sourceColumn,
                            const BgrPicture& background, std::int64_t targetRow, std::int64_t targetColumn,
                            std::int64_t halfSize);

}  // namespace orvalis::testing
