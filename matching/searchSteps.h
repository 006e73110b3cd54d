#pragma once

#include <cstdint>

#include "imaging/circularMeanFilterFast.h"
#include "matching/fastScan.h"
#include "platform/workerPool.h"
#include "state/workspace.h"

namespace orvalis {

// The fast kernels' threads and memory, one set per workspace.
struct KernelMemory {
  explicit KernelMemory(unsigned lanes) : pool(lanes), filter(pool.lanes()), scan(pool.lanes()) {}
  WorkerPool pool;
  FilterMemory filter;
  FastScanMemory scan;
};

// Chooses the workspace's kernels and, for the fast ones, makes their worker
// pool and memory (lanes 0: one per hardware thread). The program calls it
// once at start-up, so that no tick makes a thread or allocates.
void useKernels(Workspace& workspace, Kernels kernels, unsigned lanes = 0);

// The workspace's fast-kernel memory, as useKernels made it. It never
// allocates: fast kernels used on a workspace that useKernels did not set up
// are a programming error, which ends the process with a message.
KernelMemory& kernelMemory(Workspace& workspace);

// The steps of a search on the workspace's own buffers, each run with the
// workspace's kernels: the one place where the choice between the fast and
// the reference kernels is read. Both sets give the same bytes.

// The channels of queryImage / archiveImage into queryB/G/R / archiveB/G/R.
void splitQueryPlanes(Workspace& workspace);
void splitArchivePlanes(Workspace& workspace);

// The display pictures: the gray of the raw query / archive planes, back into
// queryImage / archiveImage.
void drawQueryGray(Workspace& workspace);
void drawArchiveGray(Workspace& workspace);

// Builds the template side of the ring signature from the query planes at
// the viewfinder: disc mask for filterRadius, the filtered query planes,
// queryGray, then sampleTemplateSignature. False, having changed nothing,
// when templateBuildable refuses.
[[nodiscard]] bool buildTemplateSignature(Workspace& workspace);

// Prepares the plane the scan searches: disc mask for filterRadius, the
// archive planes filtered into archiveFilteredB/G/R over archiveWidth x
// archiveHeight, and their gray plane archiveGray. False, having changed
// nothing, when the size does not fit the store or filterRadius is above
// kMaxFilterRadius (then archiveGray is not this picture's and must not be
// scanned).
[[nodiscard]] bool filterArchiveImage(Workspace& workspace);

// The archive scan of scanArchiveImageReference, with the workspace's
// kernels. Returns matchFound.
bool scanArchiveImage(Workspace& workspace, double radius);

// The scan as the workspace's profile asks, with the workspace's kernels:
// pass after pass (matching/archiveScan.h), each going on after the first hit
// of the one before and away from the copies found, until profile.matches
// copies are found or a pass finds none. A copy whose score is above
// profile.maxScore is not reported but still avoided. The copies go to
// found / foundCount in the order found; the match fields describe the first.
// Returns whether there is one.
bool findMatches(Workspace& workspace, double radius);

}  // namespace orvalis
