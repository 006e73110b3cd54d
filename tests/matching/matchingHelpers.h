#pragma once

// A fresh workspace, planes filled from a function, pictures split into the
// query or archive planes, and a template signature taken straight from the
// archive's gray plane with the plain sampler.

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
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i)
    plane[i] = static_cast<std::uint8_t>(
        value(static_cast<std::uint32_t>(i / width), static_cast<std::uint32_t>(i % width)));
}

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

inline void splitInto(Workspace& workspace, const BgrPicture& picture, bool archive) {
  ImageStore& im = workspace.images;
  splitPlanes(picture.pixels.data(), picture.width, picture.height,
              (archive ? im.archiveB : im.queryB).data(), (archive ? im.archiveG : im.queryG).data(),
              (archive ? im.archiveR : im.queryR).data());
}

}  // namespace orvalis::testing
