#pragma once

#include <cstdint>

#include "state/constants.h"

namespace orvalis {

// What the angles of the inner rings, aligned innermost first, still allow
// agreeOnAngle to find once the other rings are aligned. The fast scan gives
// a centre up as soon as they allow nothing, and aligns a ring the consensus
// hangs on only as far as it must.

// Rings aligned before consensusPossible can tell anything: with fewer, the
// rings not yet aligned alone could make up the count for the outermost
// reference.
inline constexpr int kTellingRings = kRingCount - kRingsToAgree + 1;

// Whether rings 0 .. known - 1, whose angles are in, leave any reference ring
// a chance of kRingsToAgree agreeing inner rings, every ring not yet aligned
// counted as agreeing. False proves that agreeOnAngle fails whatever the
// other rings give. With isolated a known ring, the same as if that ring's
// angle agreed with no other ring's.
[[nodiscard]] bool consensusPossible(int known, const std::uint32_t* count, const double* angleDeg,
                                     int isolated = -1);

// For ring `ring`, rings 0 .. ring - 1 aligned: marks in decisive (count[ring]
// entries) every shift whose angle, as the ring's, would leave the consensus
// possible; the consensus is ruled out for every shift left unmarked. False,
// marking nothing, where that may be any shift or where the consensus is not
// looked at after this ring.
[[nodiscard]] bool markDecisiveShifts(int ring, const std::uint32_t* count, const double* angleDeg,
                                      std::uint8_t* decisive);

}  // namespace orvalis
