#pragma once

// Small helpers shared by the matching tests: a fresh workspace, planes filled
// from a function, pictures split into the query or archive planes.

#include <cstdint>
#include <memory>

#include "imaging/pixelConversions.h"
#include "state/workspace.h"
#include "tests/support/testSupport.h"

namespace orvalis::testing {

inline std::unique_ptr<Workspace> freshWorkspace(std::uint32_t width, std::uint32_t height) {
  auto workspace = std::make_unique<Workspace>();
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

inline void splitIntoQuery(Workspace& workspace, const BgrPicture& picture) {
  splitPlanes(picture.pixels.data(), picture.width, picture.height, workspace.images.queryB.data(),
              workspace.images.queryG.data(), workspace.images.queryR.data());
}

inline void splitIntoArchive(Workspace& workspace, const BgrPicture& picture) {
  splitPlanes(picture.pixels.data(), picture.width, picture.height, workspace.images.archiveB.data(),
              workspace.images.archiveG.data(), workspace.images.archiveR.data());
}

}  // namespace orvalis::testing
