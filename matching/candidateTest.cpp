#include "matching/candidateTest.h"

#include <cmath>

#include "imaging/bilinearSampling.h"
#include "matching/ringSignature.h"

namespace orvalis {

bool histogramsTransportable(SearchState& state, const std::int32_t* candidateHistogram,
                             const std::int32_t* templateHistogram) {
  return histogramsTransportable(candidateHistogram, templateHistogram, state.histWorkA, state.histWorkB,
                                 state.colorTolerance);
}

bool histogramsTransportable(const std::int32_t* candidateHistogram, const std::int32_t* templateHistogram,
                             std::int32_t* workA, std::int32_t* workB, std::uint8_t colorTolerance) {
  std::int32_t* a = workA;
  std::int32_t* b = workB;
  for (int bin = 0; bin < 256; ++bin) {
    a[bin] = candidateHistogram[bin];
    b[bin] = templateHistogram[bin];
  }
  const int tolerance = colorTolerance;

  int i = 0;  // current bin of the candidate copy
  int j = 0;  // current bin of the template copy
  for (;;) {
    // An emptied candidate bin moves on first, so that on equal counts i
    // advances before j.
    if (a[i] == 0) {
      ++i;
      if (i > 255) return true;
      continue;
    }
    if (b[j] == 0) {
      ++j;
      if (j > 255) return false;  // candidate counts left with nothing to pair
      continue;
    }
    if (std::abs(i - j) > tolerance) return false;
    if (a[i] >= b[j]) {
      a[i] -= b[j];
      b[j] = 0;
    } else {
      b[j] -= a[i];
      a[i] = 0;
    }
  }
}

bool testCandidate(Workspace& workspace, double row, double column, double radius) {
  return testCandidateScaled(workspace, row, column, radius, 1.0);
}

namespace {

// Ring `ring` of the candidate, sampled with the template's count.
void sampleCandidateRing(Workspace& workspace, double row, double column, double radius, double scale,
                         int ring) {
  SearchState& state = workspace.state;
  state.ringSampleCount[ring] = ringSampleCountOf(ringRadius(ring, radius));
  sampleRingWithCount(workspace.images.archiveGray.data(), state.archiveWidth, row, column,
                      ringRadius(ring, radius * scale), state.ringSampleCount[ring],
                      state.candidateRingProfile[ring]);
}

}  // namespace

bool testCandidateScaled(Workspace& workspace, double row, double column, double radius, double scale) {
  SearchState& state = workspace.state;
  const std::uint8_t* gray = workspace.images.archiveGray.data();
  const std::uint32_t width = state.archiveWidth;
  if (!ringRadiusUsable(radius) || !ringRadiusUsable(radius * scale)) return false;

  // Centre value: one sample decides most centres.
  state.candidateCentreValue = sampleBilinear(gray, width, row, column);
  if (std::fabs(state.candidateCentreValue - state.templateCentreValue) > state.colorTolerance) return false;

  const double meanTolerance = state.colorTolerance * kMeanToleranceFactor;
  for (int ring = 0; ring < kRingCount; ++ring) {
    sampleCandidateRing(workspace, row, column, radius, scale, ring);
    ringHistogram(state.ringSampleCount[ring], state.candidateRingProfile[ring],
                  state.candidateRingHist[ring], state.candidateRingMean[ring]);
    if (std::fabs(state.candidateRingMean[ring] - state.templateRingMean[ring]) > meanTolerance) return false;
    if (!histogramsTransportable(state, state.candidateRingHist[ring], state.templateRingHist[ring]))
      return false;
  }
  return true;
}

bool compensatedTests(const SearchState& state, const LightModel& model, double& centreValue,
                      double (*profile)[kMaxRingSamples], const std::uint32_t* count,
                      std::int32_t (*histogram)[256], double* mean, std::int32_t* workA,
                      std::int32_t* workB) {
  if (!compensateLight(model, centreValue, profile, count)) return false;
  if (std::fabs(centreValue - state.templateCentreValue) > state.colorTolerance) return false;
  const double meanTolerance = state.colorTolerance * kMeanToleranceFactor;
  for (int ring = 0; ring < kRingCount; ++ring) {
    lightHistogram(count[ring], profile[ring], histogram[ring], mean[ring]);
    if (std::fabs(mean[ring] - state.templateRingMean[ring]) > meanTolerance) return false;
    if (!histogramsTransportable(histogram[ring], state.templateRingHist[ring], workA, workB,
                                 state.colorTolerance))
      return false;
  }
  return true;
}

bool testCandidateLight(Workspace& workspace, double row, double column, double radius, double scale,
                        const LightModel& model) {
  SearchState& state = workspace.state;
  const std::uint8_t* gray = workspace.images.archiveGray.data();
  const std::uint32_t width = state.archiveWidth;
  if (!ringRadiusUsable(radius) || !ringRadiusUsable(radius * scale)) return false;
  const double meanTolerance = state.colorTolerance * kMeanToleranceFactor;
  LightBand bands[kRingCount + 1];
  state.candidateCentreValue = sampleBilinear(gray, width, row, column);
  bands[0] = {state.candidateCentreValue, state.templateCentreValue, double(state.colorTolerance), 0.0};
  if (!lightFeasible(bands, 1)) return false;
  for (int ring = 0; ring < kRingCount; ++ring) {
    sampleCandidateRing(workspace, row, column, radius, scale, ring);
    ringHistogram(state.ringSampleCount[ring], state.candidateRingProfile[ring],
                  state.candidateRingHist[ring], state.candidateRingMean[ring]);
    bands[ring + 1] = {state.candidateRingMean[ring], state.templateRingMean[ring], meanTolerance, 0.0};
    if (!lightFeasible(bands, ring + 2)) return false;
  }
  return compensatedTests(state, model, state.candidateCentreValue, state.candidateRingProfile,
                          state.ringSampleCount, state.candidateRingHist, state.candidateRingMean,
                          state.histWorkA, state.histWorkB);
}

}  // namespace orvalis
