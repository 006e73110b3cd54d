#pragma once

#include <cstdint>

#include "imaging/circularMeanFilterFast.h"
#include "matching/fastScan.h"
#include "matching/lightCompensation.h"
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

// The template signature and histograms from the query filtered at another
// radius (up to kMaxTemplateFilterRadius): for a copy of scale s the archive's
// filter blurs it as filterRadius / s blurs the query. Only the square around
// the viewfinder that the samples and the filter reach is filtered (the crop
// planes), which gives every sample what filtering the whole query would.
// queryGray and the query's filtered planes are left as they are. False,
// changing nothing, when templateBuildable refuses or the radius is out of range.
[[nodiscard]] bool buildTemplateFilteredAt(Workspace& workspace, std::uint32_t filterRadius);

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
// With a range of scales the search is made at each scale of scaleSteps, up
// to profile.matches copies each; of copies closer than the smaller of their
// radii the best scored is kept, and the copies are listed in raster order of
// their centres.
bool findMatches(Workspace& workspace, double radius);

// How close a copy's rings are to the template's: the mean absolute
// difference of their samples, the copy's turned back by its angle (to the
// nearest sample) and, under other light, compensated, averaged over the nine
// rings, in gray levels. Lower is better; 0 is the template itself. Plain
// code, run once per copy found, by either set of kernels alike.
double matchResidual(Workspace& workspace, const FoundMatch& match, double radius, const LightModel* light);

// The ratio between neighbouring scales searched for a region of this radius:
// a copy between two of them is off by at most half a step, which moves the
// outer ring by radius x (ratio - 1) / 2 pixels. The filtered picture changes
// little over a fraction of the filter radius, the more the wider the
// tolerance: the step lets the outer ring move filterRadius x tolerance / 256
// pixels, at least half a pixel. The scales searched are the whole powers of
// the ratio within the range, and its two ends.
double scaleRatio(double radius, std::uint32_t filterRadius, std::uint8_t tolerance);

}  // namespace orvalis
