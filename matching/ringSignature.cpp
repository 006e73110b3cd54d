#include "matching/ringSignature.h"

#include <cmath>

#include "imaging/bilinearSampling.h"
#include "matching/admissibleCentre.h"

namespace orvalis {

bool ringRadiusUsable(double regionRadius) {
  if (!(regionRadius >= 0.0)) return false;
  // The counts grow with the ring, so the innermost and the outermost decide.
  const double innerSamples = ringRadius(0, regionRadius) * 20.0;
  const double outerSamples = ringRadius(kRingCount - 1, regionRadius) * 20.0;
  return innerSamples >= 1.0 && outerSamples < kMaxRingSamples + 1.0 ? 1 : 0;
}

bool ringHistogram(std::uint32_t count, const double* profile, std::int32_t* histogram, double& mean) {
  for (int bin = 0; bin < 256; ++bin) histogram[bin] = 0;
  if (count == 0) {
    mean = 0.0;
    return false;
  }
  double sum = 0.0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double v = profile[i];
    sum = sum + v;
    // Half up; the low eight bits keep the index inside the bins.
    const int bin = static_cast<int>(std::floor(v + 0.5)) & 0xFF;
    histogram[bin] = histogram[bin] + 1;
  }
  mean = sum / static_cast<double>(count);
  return true;
}

bool templateBuildable(const SearchState& state) {
  const double regionRadius = static_cast<double>(state.viewfinderRadius);
  return fitsImageCapacity(state.queryWidth, state.queryHeight) && state.filterRadius <= kMaxFilterRadius &&
         ringRadiusUsable(regionRadius) &&
         isAdmissibleCentre(state.viewfinderY, state.viewfinderX, regionRadius, state.queryWidth,
                            state.queryHeight);
}

void sampleTemplateSignature(Workspace& workspace) {
  SearchState& state = workspace.state;
  sampleTemplateFrom(state, workspace.images.queryGray.data(), state.queryWidth, state.viewfinderY,
                     state.viewfinderX);
}

void sampleTemplateFrom(SearchState& state, const std::uint8_t* gray, std::uint32_t width, double centreRow,
                        double centreColumn) {
  const double regionRadius = static_cast<double>(state.viewfinderRadius);
  state.templateCentreValue = sampleBilinear(gray, width, centreRow, centreColumn);
  for (int ring = 0; ring < kRingCount; ++ring) {
    sampleRing(gray, width, centreRow, centreColumn, ringRadius(ring, regionRadius),
               state.templateRingProfile[ring], state.ringSampleCount[ring]);
  }
}

bool buildTemplateHistograms(SearchState& state) {
  int usable = 1;
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (!ringHistogram(state.ringSampleCount[ring], state.templateRingProfile[ring],
                       state.templateRingHist[ring], state.templateRingMean[ring])) {
      usable = 0;
    }
  }
  return usable;
}

}  // namespace orvalis
