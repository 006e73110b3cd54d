#pragma once

#include <cstdint>

namespace orvalis {

// Fixed drawing regions of the client area, in pixels.
struct PixelRect {
  int x, y, width, height;
};
inline constexpr PixelRect kPictureArea{0, 0, 640, 640};
inline constexpr PixelRect kUpperBand{640, 0, 310, 130};
inline constexpr PixelRect kLowerBand{640, 510, 310, 130};
inline constexpr int kPreviewSide = 150;

// Where the views and the previews go for the current picture sizes.
struct ViewGeometry {
  double displayScale = 0;  // min of the two fit ratios; 0 while no archive picture is known
  int viewWidth = 0;        // queryWidth x displayScale, truncated
  int viewHeight = 0;       // queryHeight x displayScale, truncated
  PixelRect queryView{};
  PixelRect archiveView{};  // below the query view (landscape) or beside it (portrait)
  PixelRect previews[3]{};  // template, match, difference
};

// A landscape view fits 450 x 300 pixels and stacks the archive view under
// the query view with the previews in a column to the right; a portrait view
// fits 300 x 450, the views side by side and the previews in a row below.
ViewGeometry viewGeometry(std::uint32_t archiveWidth, std::uint32_t archiveHeight, std::uint32_t queryWidth,
                          std::uint32_t queryHeight, bool landscape);

}  // namespace orvalis
