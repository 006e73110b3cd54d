#include "matching/ringSignature.h"

#include <cmath>

#include "imaging/bilinearSampling.h"
#include "imaging/circularMeanFilter.h"
#include "imaging/circularMeanFilterFast.h"
#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"
#include "matching/admissibleCentre.h"

namespace orvalis {

int ringRadiusUsable(double regionRadius) {
  if (!(regionRadius >= 0.0)) return 0;
  // The counts grow with the ring, so the innermost and the outermost decide.
  const double innerSamples = ringRadius(0, regionRadius) * 20.0;
  const double outerSamples = ringRadius(kRingCount - 1, regionRadius) * 20.0;
  return innerSamples >= 1.0 && outerSamples < kMaxRingSamples + 1.0 ? 1 : 0;
}

int ringHistogram(std::uint32_t count, const double* profile, std::int32_t* histogram, double& mean) {
  for (int bin = 0; bin < 256; ++bin) histogram[bin] = 0;
  if (count == 0) {
    mean = 0.0;
    return 0;
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
  return 1;
}

int buildTemplateSignature(Workspace& workspace) {
  SearchState& state = workspace.state;
  ImageStore& images = workspace.images;
  const std::uint32_t width = state.queryWidth;
  const std::uint32_t height = state.queryHeight;
  const double regionRadius = static_cast<double>(state.viewfinderRadius);

  // Checks first: the sampling below reads wherever the viewfinder says.
  if (!fitsImageCapacity(width, height)) return 0;
  if (state.filterRadius > kMaxFilterRadius) return 0;
  if (!ringRadiusUsable(regionRadius)) return 0;
  if (!isAdmissibleCentre(state.viewfinderY, state.viewfinderX, regionRadius, width, height)) return 0;

  // Filtered gray plane of the query.
  buildDiscMask(state.filterRadius, images.discMask.data(), images.discMaskCount);
  const auto filter = workspace.kernels == Kernels::Fast ? circularMeanFilterFast : circularMeanFilter;
  filter(images.queryB.data(), images.queryG.data(), images.queryR.data(), images.queryFilteredB.data(),
         images.queryFilteredG.data(), images.queryFilteredR.data(), height, width, state.filterRadius,
         images.discMask.data(), images.discMaskCount);
  const auto gray = workspace.kernels == Kernels::Fast ? grayPlaneFast : grayPlane;
  gray(images.queryFilteredB.data(), images.queryFilteredG.data(), images.queryFilteredR.data(), width,
       height, images.queryGray.data());

  // Centre value and the nine ring profiles.
  const double centreRow = state.viewfinderY;
  const double centreColumn = state.viewfinderX;
  state.templateCentreValue = sampleBilinear(images.queryGray.data(), width, centreRow, centreColumn);
  for (int ring = 0; ring < kRingCount; ++ring) {
    sampleRing(images.queryGray.data(), width, centreRow, centreColumn, ringRadius(ring, regionRadius),
               state.templateRingProfile[ring], state.ringSampleCount[ring]);
  }
  return 1;
}

int buildTemplateHistograms(SearchState& state) {
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
