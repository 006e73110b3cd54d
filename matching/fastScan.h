#pragma once

#include <cstdint>
#include <memory>

#include "platform/workerPool.h"
#include "state/workspace.h"

namespace orvalis {

// The code that estimates the first ring's mean for sixteen centres at once
// and samples the rings: the widest vectors the processor offers (the
// default), at most AVX2, or plain scalar code. Results are the same with
// each; tests run all three.
enum class EstimateCode { Widest, Avx2, Plain };

// The fast scan's working memory: the radius tables, the template view and
// one candidate signature per lane of the pool it is made for (about 1 MB a
// lane), made once, never on a tick. One scan at a time uses it.
class FastScanMemory {
 public:
  explicit FastScanMemory(unsigned lanes);
  ~FastScanMemory();
  FastScanMemory(const FastScanMemory&) = delete;
  FastScanMemory& operator=(const FastScanMemory&) = delete;

  struct Parts;
  unsigned lanes() const { return lanes_; }
  Parts& parts() { return *parts_; }

 private:
  unsigned lanes_;
  std::unique_ptr<Parts> parts_;
};

// The archive scan of scanArchiveImage, made fast without changing a result:
// the same matchFound, matchX, matchY, matchRadius, matchAngle and
// consensusAngleDeg, bit for bit. How:
// - per radius, tables of r x cos(a) and r x sin(a) for every ring sample,
//   the very products the plain sampler forms, so that each sample position
//   Y - r x cos(a) is the same double;
// - a centre whose own byte is off is rejected by a 256-entry table (at whole
//   positions the bilinear sample is exactly the byte);
// - each ring mean is first estimated as a fixed linear combination of the
//   pixels (the bilinear weights of all samples, merged), for sixteen
//   centres at once, with a proven bound on its distance to the exactly
//   summed mean; only a centre the estimates cannot reject is sampled (four
//   samples at a time, each the same double) and tested exactly;
// - the alignment bounds every shift's sum from below with block sums first
//   and sums exactly, sixteen shifts at once and each lane in the original
//   order, only the shifts the bounds can't rule out;
// - each ring is tested and aligned before the next is sampled, innermost
//   first, and a centre is given up as soon as the angles found leave no
//   room for the consensus; a ring whose angle then decides that is aligned
//   only as far as telling whether its best shift is one that keeps the
//   consensus possible;
// - rows are shared out to the worker pool in chunks, and the earliest
//   accepted centre in raster order wins, then the same refinement.
// Returns matchFound. Rejected centres leave no trace in the candidate
// signature: after the scan the candidate fields and the angle scratch hold
// what they held before, except ringSampleCount, which a match sets to the
// counts of the scan radius as the plain scan does.
// The memory must have been made for at least the pool's lanes.
[[nodiscard]] bool scanArchiveImageFast(Workspace& workspace, FastScanMemory& memory, WorkerPool& pool,
                                        double radius);

// testCandidate with the scan's tables: same result, and when it passes the
// same candidate signature (centre value, profiles, counts, histograms,
// means).
[[nodiscard]] bool testCandidateFast(Workspace& workspace, FastScanMemory& memory, double row, double column,
                                     double radius);

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

// Chooses the estimate and sampling code that scans with this memory use.
void useEstimateCode(FastScanMemory& memory, EstimateCode code);

}  // namespace orvalis
