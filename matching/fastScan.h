#pragma once

#include <cstdint>

#include "state/workspace.h"

namespace orvalis {

// The archive scan of scanArchiveImage, made fast without changing a result:
// the same matchFound, matchX, matchY, matchRadius, matchAngle and
// consensusAngleDeg, bit for bit. How:
// - per radius, tables of r x cos(a) and r x sin(a) for every ring sample,
//   the very products the plain sampler forms, so that each sample position
//   Y - r x cos(a) is the same double;
// - a centre whose own byte is off is rejected by a 256-entry table (at whole
//   positions the bilinear sample is exactly the byte);
// - each ring mean is first estimated as a fixed linear combination of the
//   pixels (the bilinear weights of all samples, merged), with a proven bound
//   on its distance to the exactly summed mean; only a centre the estimate
//   cannot reject is sampled and tested exactly, in the usual order;
// - the alignment tries eight shifts at once, each lane summing its
//   differences in the original order;
// - rows are shared out to the worker pool in chunks, and the earliest
//   accepted centre in raster order wins, then the same refinement.
// Returns matchFound. Rejected centres leave no trace in the candidate
// signature: after the scan the candidate fields and the angle scratch hold
// what they held before, except ringSampleCount, which a match sets to the
// counts of the scan radius as the plain scan does.
int scanArchiveImageFast(Workspace& workspace, double radius);

// testCandidate with the scan's tables: same result, and when it passes the
// same candidate signature (centre value, profiles, counts, histograms,
// means).
int testCandidateFast(Workspace& workspace, double row, double column, double radius);

// alignRing over a template profile laid out twice in a row (templateTwice[m]
// = template[m mod count] for m < 2 count, and at least 8 more readable
// values after that): same result and angle.
int alignRingFast(const double* candidateProfile, std::uint32_t count, const double* templateTwice,
                  std::uint8_t colorTolerance, double& angleDeg);

// The code that estimates the first ring's mean for sixteen centres at once:
// the widest vectors the processor offers (the default), at most AVX2, or
// plain scalar code. Results are the same with each; tests run all three.
enum class EstimateCode { Widest, Avx2, Plain };
void useEstimateCode(EstimateCode code);

// Makes the scan's tables and working memory (and the worker pool) now.
void prepareFastScan();

}  // namespace orvalis
