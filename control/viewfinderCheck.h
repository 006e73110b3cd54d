#pragma once

#include <cstdint>

#include "state/searchState.h"

namespace orvalis {

// The viewfinder fits a picture of width x height when its radius is not 0 and
// the circle lies inside with a margin of one pixel: y - r >= 1, y + r <= h - 2,
// x - r >= 1, x + r <= w - 2, tested in this order in double precision, each
// admitting equality.
bool viewfinderFits(std::uint32_t x, std::uint32_t y, std::uint32_t radius, std::uint32_t width,
                    std::uint32_t height);

// The start-up check: a viewfinder that does not fit moves to the centre
// (w / 2, h / 2) with radius min(w, h) / 6, integer divisions, capped at
// kMaxViewfinderRadius: a square picture of more than 1500 pixels a side fits
// the store, and a radius above 250 would overflow the ring profiles. Returns
// true when the viewfinder was kept.
bool checkViewfinder(SearchParameters& parameters, std::uint32_t width, std::uint32_t height);

}  // namespace orvalis
