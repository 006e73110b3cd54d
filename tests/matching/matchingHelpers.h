#pragma once

// Small helpers shared by the matching tests: a fresh workspace, planes filled
// from a function, pictures split into the query or archive planes, and a
// template signature taken straight from a plane.

#include <cstdint>
#include <memory>

#include "imaging/bilinearSampling.h"
#include "imaging/pixelConversions.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "state/workspace.h"
#include "tests/support/testSupport.h"

namespace orvalis::testing {

inline std::unique_ptr<Workspace> freshWorkspace(std::uint32_t width, std::uint32_t height,
                                                 Kernels kernels = Kernels::Fast) {
  auto workspace = std::make_unique<Workspace>();
  useKernels(*workspace, kernels);
  SearchState& state = workspace->state;
  state.queryWidth = state.archiveWidth = width;
  state.queryHeight = state.archiveHeight = height;
  state.filterRadius = 8;
  state.colorTolerance = 16;
  return workspace;
}

template <typename Value>
void fillPlane(ColorPlane& plane, std::uint32_t width, std::uint32_t height, Value value) {
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      plane[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(value(y, x));
    }
  }
}

// The template signature of the disc of this radius around (row, column) of
// archiveGray, sampled with the plain sampler.
inline void templateFromArchive(Workspace& workspace, double row, double column, double radius) {
  SearchState& s = workspace.state;
  const std::uint8_t* gray = workspace.images.archiveGray.data();
  s.templateCentreValue = sampleBilinear(gray, s.archiveWidth, row, column);
  for (int ring = 0; ring < kRingCount; ++ring) {
    sampleRing(gray, s.archiveWidth, row, column, ringRadius(ring, radius), s.templateRingProfile[ring],
               s.ringSampleCount[ring]);
    ringHistogram(s.ringSampleCount[ring], s.templateRingProfile[ring], s.templateRingHist[ring],
                  s.templateRingMean[ring]);
  }
}

inline void splitIntoQuery(Workspace& workspace, const BgrPicture& picture) {
  splitPlanes(picture.pixels.data(), picture.width, picture.height, workspace.images.queryB.data(),
              workspace.images.queryG.data(), workspace.images.queryR.data());
}

inline void splitIntoArchive(Workspace& workspace, const BgrPicture& picture) {
  splitPlanes(picture.pixels.data(), picture.width, picture.height, workspace.images.archiveB.data(),
              workspace.images.archiveG.data(), workspace.images.archiveR.data());
}

}  // namespace orvalis::testing
