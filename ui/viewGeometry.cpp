#include "ui/viewGeometry.h"

#include <algorithm>

namespace orvalis {

ViewGeometry viewGeometry(std::uint32_t archiveWidth, std::uint32_t archiveHeight, std::uint32_t queryWidth,
                          std::uint32_t queryHeight, bool landscape) {
  ViewGeometry g;
  // Before an archive picture is known there is nothing to fit; a zero size
  // would make the ratios infinite and the view sizes meaningless.
  if (archiveWidth != 0 && archiveHeight != 0) {
    const double widthRatio = (landscape ? 450.0 : 300.0) / archiveWidth;
    const double heightRatio = (landscape ? 300.0 : 450.0) / archiveHeight;
    g.displayScale = std::min(widthRatio, heightRatio);
  }
  g.viewWidth = static_cast<int>(queryWidth * g.displayScale);
  g.viewHeight = static_cast<int>(queryHeight * g.displayScale);

  g.queryView = {0, 0, g.viewWidth, g.viewHeight};
  g.archiveView =
      landscape ? PixelRect{0, 320, g.viewWidth, g.viewHeight} : PixelRect{320, 0, g.viewWidth, g.viewHeight};

  // Centred in the 490 pixels right of (or below) the views.
  const int offsets[3] = {75, 245, 415};
  for (int i = 0; i < 3; ++i) {
    if (landscape) {
      g.previews[i] = {g.viewWidth + (490 - g.viewWidth) / 2, offsets[i], kPreviewSide, kPreviewSide};
    } else {
      g.previews[i] = {offsets[i], g.viewHeight + (490 - g.viewHeight) / 2, kPreviewSide, kPreviewSide};
    }
  }
  return g;
}

}  // namespace orvalis
