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

// Chooses the estimate and sampling code that scans with this memory use.
void useEstimateCode(FastScanMemory& memory, EstimateCode code);

}  // namespace orvalis
