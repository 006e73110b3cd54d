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

// Chooses the estimate and sampling code that scans with this memory use.
void useEstimateCode(FastScanMemory& memory, EstimateCode code);

}  // namespace orvalis
