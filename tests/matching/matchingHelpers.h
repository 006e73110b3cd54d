#pragma once

// Workspaces for the matching tests, and what a search reports to the last bit.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

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

struct Setup {
  std::uint32_t filterRadius;
  std::uint8_t colorTolerance;
  std::uint32_t viewfinderX, viewfinderY, viewfinderRadius;
};

// The template from the query's viewfinder and the archive filtered: ready to scan.
inline std::unique_ptr<Workspace> preparedSearch(const BgrPicture& query, const BgrPicture& archive,
                                                 const Setup& c, Kernels kernels,
                                                 const SearchProfile& profile = {}) {
  auto workspace = freshWorkspace(archive.width, archive.height, kernels);
  SearchState& s = workspace->state;
  std::tie(s.queryWidth, s.queryHeight, s.filterRadius, s.colorTolerance, s.viewfinderX, s.viewfinderY,
           s.viewfinderRadius) = std::tie(query.width, query.height, c.filterRadius, c.colorTolerance,
                                          c.viewfinderX, c.viewfinderY, c.viewfinderRadius);
  workspace->profile = profile;
  splitInto(*workspace, query, false);
  splitInto(*workspace, archive, true);
  EXPECT_TRUE(buildTemplateSignature(*workspace) && buildTemplateHistograms(s) &&
              filterArchiveImage(*workspace));
  return workspace;
}

// The plain scan's result or, profiled, every copy findMatches found as well.
inline std::string searchReport(Workspace& w, double radius, bool profiled = false) {
  std::string text = std::to_string(profiled ? findMatches(w, radius) : scanArchiveImage(w, radius));
  char line[200];
  for (std::uint32_t m = 0; profiled && m < w.foundCount; ++m) {
    const FoundMatch& f = w.found[m];
    std::snprintf(line, sizeof line, " (%u %u %.17g %.17g %.17g %.17g)", f.y, f.x, f.angleDeg, f.angle,
                  f.scale, f.score);
    text += line;
  }
  const SearchState& s = w.state;
  std::snprintf(line, sizeof line, " / %d at (%u, %u) radius %.17g angle %.17g consensus %.17g", s.matchFound,
                s.matchY, s.matchX, s.matchRadius, s.matchAngle, s.consensusAngleDeg);
  return text + line;
}

}  // namespace orvalis::testing
