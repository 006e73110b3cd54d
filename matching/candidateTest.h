#pragma once

#include <cstdint>

#include "matching/lightCompensation.h"
#include "state/searchState.h"
#include "state/workspace.h"

namespace orvalis {

// True when the candidate histogram can be moved onto the template histogram
// with no count travelling more than colorTolerance bins: the rounded samples
// of both sides, each in ascending order, are paired smallest with smallest,
// and the first pair further apart than colorTolerance fails. Works on the
// copies histWorkA (candidate) and histWorkB (template); both arguments stay
// as they are. Should the template run out of counts before the candidate
// (unequal totals, which the search never produces), the result is false.
[[nodiscard]] bool histogramsTransportable(SearchState& state, const std::int32_t* candidateHistogram,
                                           const std::int32_t* templateHistogram);

// The same walk on any pair of 256-bin working copies, for callers that keep
// their own (the parallel scan gives each thread its own).
[[nodiscard]] bool histogramsTransportable(const std::int32_t* candidateHistogram,
                                           const std::int32_t* templateHistogram, std::int32_t* workA,
                                           std::int32_t* workB, std::uint8_t colorTolerance);

// Tests the disc of the given radius around (row, column) of archiveGray
// against the template signature, cheapest comparison first, stopping at the
// first that fails:
// - the centre value within colorTolerance of the template's;
// - then ring by ring, innermost first, sampled only once the inner rings have
//   passed: the ring mean within colorTolerance x kMeanToleranceFactor, then
//   histogramsTransportable.
// Writes the candidate signature for the rings it reached. True when every
// comparison passes. Every tolerance passes on equality.
// The caller keeps the disc and a one-pixel margin inside the picture. A
// radius outside ringRadiusUsable is refused (false) before anything is sampled,
// so an empty ring never reaches the mean.
[[nodiscard]] bool testCandidate(Workspace& workspace, double row, double column, double radius);

// testCandidate on a copy of another size: ring k sampled at the radius of
// ring k of a region of radius x scale, with the sample count of ring k of
// the region of radius, so that it lines up with the template's ring.
// Scale 1 is testCandidate.
[[nodiscard]] bool testCandidateScaled(Workspace& workspace, double row, double column, double radius,
                                       double scale);

// testCandidate under other light: the centre value and, ring by ring, the
// raw ring means must leave some gain and offset in range (lightFeasible);
// then the candidate's samples are compensated (compensateLight) and the
// centre value, the ring means and the histograms (lightHistogram) are held
// to the tolerances as testCandidate holds them. The candidate profiles are
// left compensated, for the rotation estimate.
[[nodiscard]] bool testCandidateLight(Workspace& workspace, double row, double column, double radius,
                                      double scale, const LightModel& model);

// The compensated tests of testCandidateLight once every ring is sampled, on
// any candidate record: compensates, then the centre, means and histograms.
[[nodiscard]] bool compensatedTests(const SearchState& state, const LightModel& model, double& centreValue,
                                    double (*profile)[kMaxRingSamples], const std::uint32_t* count,
                                    std::int32_t (*histogram)[256], double* mean, std::int32_t* workA,
                                    std::int32_t* workB);

}  // namespace orvalis
