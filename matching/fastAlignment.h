#pragma once

#include <cstdint>

namespace orvalis {

// alignRing made fast without changing a result: every shift's sum bounded
// from below by block sums first, and summed exactly, sixteen shifts at once
// and each in the original order, only where the bounds can't rule it out.

// The shifts alignRingFast sums together, and the padding its template
// layout needs beyond two turns.
inline constexpr std::uint32_t kAlignLanes = 16;

// What alignRingFast needs of a template profile of count samples (values in
// 0..255), made once per scan: the profile laid out twice in a row
// (twice[m] = template[m mod count] for m < 2 count + kAlignLanes) and, for
// bounds on the shifts' sums, the sums of a coarse and of a fine number of
// consecutive samples, each first scaled by 1024 and truncated, from every
// start m < L = 2 count + kAlignLanes (windowSums[m] and windowSums[L + m]),
// then the same with samples scaled by 65536 (windowSums[2 L + m] and
// windowSums[3 L + m]): 8 count + 4 kAlignLanes in all.
void layOutTemplate(const double* templateProfile, std::uint32_t count, double* twice,
                    std::int32_t* windowSums);

// alignRing with the template laid out as above: same result and angle. A
// shift is summed only when a lower bound on its sum, from block sums of both
// profiles, does not already prove it worse than the best shift so far; a
// shift is abandoned once its running sum exceeds that best. Shifts are tried
// in groups from the most promising, and once a group's lowest bound proves
// every shift in it worse than the best, the groups after it are not looked
// at; ties still go to the smaller shift.
[[nodiscard]] bool alignRingFast(const double* candidateProfile, std::uint32_t count,
                                 const double* templateTwice, const std::int32_t* templateWindowSums,
                                 std::uint8_t colorTolerance, double& angleDeg);

// What alignRingDecisive found.
enum class RingAlignment { NoneQualifies, Aligned, BestElsewhere };

// alignRingFast for a caller to whom only some shifts matter: those with
// decisive[shift] nonzero (decisive may be null: all matter). Gives
// NoneQualifies when no shift qualifies, BestElsewhere (angle untouched)
// once it has proven that the best shift, which alignRing would pick, is not
// decisive, and otherwise Aligned with alignRing's angle. Shifts are summed
// from the group whose bound is lowest, so the first shifts summed are most
// often the best; the proof then usually comes early.
[[nodiscard]] RingAlignment alignRingDecisive(const double* candidateProfile, std::uint32_t count,
                                              const double* templateTwice,
                                              const std::int32_t* templateWindowSums,
                                              std::uint8_t colorTolerance, const std::uint8_t* decisive,
                                              double& angleDeg);

}  // namespace orvalis
