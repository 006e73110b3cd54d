// The early tests under other light against the exact feasibility they stand in front of.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "matching/lightCompensation.h"

namespace orvalis {
namespace {

// Sound: a centre that the screen or the region rejects has no gain and offset in range for its
// bands. Tight: one made by a gain and offset at the range's corners, every value at an edge of its
// band and every estimate off by its whole margin, passes them all.
TEST(LightScreen, RejectsOnlyWhatNoGainAndOffsetInRangeExplain) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto either = [&](double a, double b) { return rng() % 2 ? a : b; };
  LightScreen screen;
  int made = 0, rejected = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    const double tolerance = 2 + 38 * unit(rng), meanTolerance = tolerance * kMeanToleranceFactor;
    const double centre = 255 * unit(rng), ring[2] = {255 * unit(rng), 255 * unit(rng)};
    const bool edge = trial % 2 == 0;
    const double gain = edge ? either(kLightGainMin, kLightGainMax) : 0.5 + unit(rng);
    const double offset = edge ? either(-kLightOffset, kLightOffset) : 90 * unit(rng) - 45;
    const double byte = std::round(gain * centre + offset);
    if (byte < 0 || byte > 255) continue;
    LightBand bands[3] = {{byte, centre, tolerance, 0.0}};
    for (int k = 0; k < 2; ++k) {
      const double margin = 0.01 * unit(rng), off = edge ? either(-1.0, 1.0) : 3 * unit(rng) - 1.5;
      const double mean = gain * (ring[k] + off * meanTolerance) + offset;
      bands[k + 1] = {mean + (edge ? either(-margin, margin) : 0.0), ring[k], meanTolerance, margin};
    }
    screen.prepare(centre, tolerance, ring, meanTolerance);
    const auto c = static_cast<std::uint8_t>(byte);
    LightRegion region = screen.centreRegion(c);
    const bool passes =
        screen.centrePasses(c) && !screen.firstRejects(c, bands[1].candidate, bands[1].slack) &&
        !screen.stepRejects(bands[1].candidate, bands[1].slack, bands[2].candidate, bands[2].slack) &&
        region.add(bands[1]) && region.add(bands[2]);
    const bool feasible = lightFeasible(bands, 3);
    EXPECT_TRUE(edge ? passes && feasible : passes || !feasible) << trial;
    made += edge;
    rejected += !passes;
  }
  EXPECT_GT(made, 1000);
  EXPECT_GT(rejected, 500);
}

}  // namespace
}  // namespace orvalis
