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
// consensusAngleDeg, bit for bit. The time goes into ruling centres out
// cheaply and soundly: tables of the centre bytes that pass, estimates of the
// ring means with proven bounds on their rounding, lower bounds on the
// alignment sums, and giving a centre up once the consensus is out of its
// reach; a centre they can't rule out is tested with the very doubles the
// plain scan forms. Rows are shared out to the pool; the earliest accepted
// centre in raster order wins, then the same refinement.
// Returns matchFound. Rejected centres leave no trace in the candidate
// signature: after the scan the candidate fields and the angle scratch hold
// what they held before, except ringSampleCount, which a match sets to the
// counts of the scan radius as the plain scan does.
// The memory must have been made for at least the pool's lanes.
[[nodiscard]] bool scanArchiveImageFast(Workspace& workspace, FastScanMemory& memory, WorkerPool& pool,
                                        double radius);

// scanArchiveImageFast for one pass (matching/archiveScan.h): the same
// results as scanPassReference, hit included.
struct ScanPass;
struct PassHit;
[[nodiscard]] bool scanPassFast(Workspace& workspace, FastScanMemory& memory, WorkerPool& pool, double radius,
                                const ScanPass& pass, PassHit& hit);

// A screen for the scans at a run of neighbouring scales, none under other
// light: marks with 1 each centre that might pass the first ring's mean test
// at one of them, and with 0 every other, so that their scans need not
// estimate the first ring of the centres it clears. The first ring is
// estimated once, at the middle scale; between two scales each of its samples
// moves along its radius, and the bilinear picture changes along the way by at
// most the largest step between neighbouring pixels near the centre times
// the distance (times root two, for the two directions). A centre is cleared
// only when the estimate's distance to the template's mean is beyond the
// tolerance by more than its margin plus that change: proof that the exact
// test fails at every scale of the run, so the scans give the same results
// with the screen as without. Returns the screen (one byte a pixel, row
// stride archiveWidth, valid over the admissible centres of the run's
// smallest scale), or null when it can't be made (then scan without).
// prepareScaleScreen measures the steps between neighbouring pixels of
// archiveGray, once a picture, for scales up to largestScale.
void prepareScaleScreen(Workspace& workspace, FastScanMemory& memory, WorkerPool& pool, double radius,
                        double largestScale);
[[nodiscard]] const std::uint8_t* screenScales(Workspace& workspace, FastScanMemory& memory, WorkerPool& pool,
                                               double radius, const double* scales, int count);

// Chooses the estimate and sampling code that scans with this memory use.
void useEstimateCode(FastScanMemory& memory, EstimateCode code);

}  // namespace orvalis
