// The shifts the fast scan still sums for the ring the consensus hangs on:
// every shift it leaves unmarked must leave the consensus impossible, or a
// centre that agreeOnAngle would accept is given up.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/bilinearSampling.h"
#include "matching/consensusReach.h"
#include "matching/ringSignature.h"
#include "matching/rotationEstimate.h"

namespace orvalis {
namespace {

TEST(ConsensusReach, EveryShiftThatKeepsTheConsensusPossibleIsMarked) {
  std::mt19937 rng(7);
  int marked = 0, possibleShifts = 0;
  for (const double radius : {40.0, 123.0, 250.0}) {
    std::uint32_t count[kRingCount];
    for (int ring = 0; ring < kRingCount; ++ring) count[ring] = ringSampleCountOf(ringRadius(ring, radius));
    const auto angleOf = [&](int ring, std::int64_t shift) {
      const std::int64_t n = count[ring];
      return shiftAngleDegrees(static_cast<std::uint32_t>(((shift % n) + n) % n), kFullTurn / count[ring]);
    };
    for (int trial = 0; trial < 300; ++trial) {
      const int ring = kTellingRings - 1 + trial % (kRingCount - kTellingRings);
      double angle[kRingCount] = {};
      // Inner angles anywhere, some right beside 0 degrees, some a few half
      // steps from another inner ring's: close calls on both sides.
      for (int inner = 0; inner < ring; ++inner) {
        const std::int64_t n = count[inner];
        std::int64_t shift = static_cast<std::int64_t>(rng() % count[inner]);
        if (rng() % 4 == 0) shift = static_cast<std::int64_t>(rng() % 3) - 1;
        if (inner > 0 && rng() % 4 == 0) {
          const double near = angle[rng() % inner] + (static_cast<double>(rng() % 9) - 4.0) * 180.0 / n;
          shift = std::llround(near * n / 360.0);
        }
        angle[inner] = angleOf(inner, shift);
      }
      std::vector<std::uint8_t> decisive(count[ring], 2);
      if (!markDecisiveShifts(ring, count, angle, decisive.data())) continue;
      ++marked;
      for (std::uint32_t shift = 0; shift < count[ring]; ++shift) {
        angle[ring] = angleOf(ring, shift);
        if (!consensusPossible(ring + 1, count, angle)) continue;
        ++possibleShifts;
        ASSERT_EQ(decisive[shift], 1) << "radius " << radius << ", ring " << ring << ", shift " << shift
                                      << " keeps the consensus possible but is not marked";
      }
    }
  }
  // Not vacuous: many marked rings, each with shifts that matter.
  EXPECT_GT(marked, 500);
  EXPECT_GT(possibleShifts, 5 * marked);
}

}  // namespace
}  // namespace orvalis
