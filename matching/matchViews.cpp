#include "matching/matchViews.h"

#include <cstddef>
#include <cstdlib>

#include "imaging/glyphs.h"
#include "imaging/pixelConversions.h"
#include "imaging/rotatePlane.h"

namespace orvalis {

namespace {

inline constexpr std::uint8_t kAgreeValue = 30;      // within the colour tolerance
inline constexpr std::uint8_t kDisagreeValue = 255;  // beyond it

// Walks the preview square row by row. Inside the disc (strictly, in double)
// valueAt(sourceIndex) gives the byte for all three channels, the source
// index being that of the pixel at the same offset from the viewfinder
// centre in a plane of the given stride; outside, the pixel is black.
template <typename ValueAt>
void buildPreview(const SearchState& state, std::uint8_t* preview, std::uint32_t sourceStride,
                  ValueAt valueAt) {
  const std::uint32_t side = state.previewWidth;
  const double centre = state.previewCentre;
  const double radius = state.viewfinderRadius;
  const double radiusSquared = radius * radius;
  // Source of preview pixel (y, x): row viewfinderY + y - P, column
  // viewfinderX + x - P. Signed, as the top-left corner of the square may lie
  // beyond the plane; pixels inside the disc never do.
  const std::int64_t originRow = static_cast<std::int64_t>(state.viewfinderY) - state.previewCentre;
  const std::int64_t originColumn = static_cast<std::int64_t>(state.viewfinderX) - state.previewCentre;

  for (std::uint32_t y = 0; y < state.previewHeight; ++y) {
    std::uint8_t* out = preview + 3 * static_cast<std::size_t>(y) * side;
    const double dy = y - centre;
    for (std::uint32_t x = 0; x < side; ++x, out += 3) {
      const double dx = x - centre;
      std::uint8_t value = 0;
      if (dy * dy + dx * dx < radiusSquared) {
        const std::int64_t row = originRow + y;
        const std::int64_t column = originColumn + x;
        value = valueAt(static_cast<std::size_t>(row * sourceStride + column));
      }
      out[0] = value;
      out[1] = value;
      out[2] = value;
    }
  }
}

}  // namespace

std::uint32_t previewSide(std::uint32_t viewfinderRadius) {
  // 64-bit so that 120 x half cannot wrap; for every radius that fits a
  // preview the result is that of 32-bit arithmetic.
  const std::uint64_t half = viewfinderRadius / 2;
  const std::uint64_t u = (120 * half) / 100;
  const std::uint64_t side = 4 * u;
  if (3 * side * side > BgrImage::capacity()) return 0;
  return static_cast<std::uint32_t>(side);
}

namespace {

// A preview of the gray of three planes of the given row stride.
void buildGrayPreview(const SearchState& s, BgrImage& preview, std::uint32_t width, const ColorPlane& blue,
                      const ColorPlane& green, const ColorPlane& red) {
  const std::uint8_t* b = blue.data();
  const std::uint8_t* g = green.data();
  const std::uint8_t* r = red.data();
  buildPreview(s, preview.data(), width, [&](std::size_t i) { return grayOf(b[i], g[i], r[i]); });
}

}  // namespace

void buildTemplatePreview(Workspace& workspace) {
  ImageStore& im = workspace.images;
  buildGrayPreview(workspace.state, im.templatePreview, workspace.state.queryWidth, im.queryB, im.queryG,
                   im.queryR);
}

void buildMatchPreview(Workspace& workspace) {
  ImageStore& im = workspace.images;
  buildGrayPreview(workspace.state, im.matchPreview, workspace.state.archiveWidth, im.rotatedArchiveB,
                   im.rotatedArchiveG, im.rotatedArchiveR);
}

void buildDifferencePreview(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& im = workspace.images;
  const std::uint8_t* query = im.queryGray.data();
  const std::uint8_t* turned = im.rotatedArchiveGray.data();
  const int tolerance = s.colorTolerance;
  // Both planes have the query's size whenever a match is shown.
  buildPreview(s, im.differencePreview.data(), s.queryWidth, [&](std::size_t i) {
    const int difference = std::abs(int{query[i]} - int{turned[i]});
    return difference <= tolerance ? kAgreeValue : kDisagreeValue;
  });
}

// A copy found at another size (--scales) has a matchRadius of its own;
// the previews bring it back to the template's size.
namespace {
double matchScale(const SearchState& s) {
  return s.viewfinderRadius > 0 ? s.matchRadius / static_cast<double>(s.viewfinderRadius) : 1.0;
}
}  // namespace

void prepareMatchViews(Workspace& workspace) {
  SearchState& s = workspace.state;
  ImageStore& im = workspace.images;

  // The search is over from the next tick on.
  s.searchStopped = 1;

  // Mark the match on the gray archive picture.
  drawMatchGlyph(im.archiveImage.data(), s.archiveWidth, s.archiveHeight, s.matchX, s.matchY, s.matchRadius,
                 s.matchAngle, s.viewfinderRadius);

  // Turning parameters: the unsigned coordinates become doubles before the
  // differences are taken, so a match right of or below the viewfinder gives
  // a negative shift rather than a wrapped one.
  // Turn the archive back onto the viewfinder, raw colours and filtered gray.
  const RotationParameters rotation{s.matchAngle,
                                    static_cast<double>(s.viewfinderX),
                                    static_cast<double>(s.viewfinderY),
                                    static_cast<double>(s.viewfinderX) - static_cast<double>(s.matchX),
                                    static_cast<double>(s.viewfinderY) - static_cast<double>(s.matchY),
                                    matchScale(s)};
  rotatePlane(im.archiveB.data(), im.rotatedArchiveB.data(), s.archiveWidth, s.archiveHeight, rotation);
  rotatePlane(im.archiveG.data(), im.rotatedArchiveG.data(), s.archiveWidth, s.archiveHeight, rotation);
  rotatePlane(im.archiveR.data(), im.rotatedArchiveR.data(), s.archiveWidth, s.archiveHeight, rotation);
  rotatePlane(im.archiveGray.data(), im.rotatedArchiveGray.data(), s.archiveWidth, s.archiveHeight, rotation);

  // Preview size, then the previews.
  const std::uint32_t side = previewSide(s.viewfinderRadius);
  s.previewWidth = side;
  s.previewHeight = side;
  s.previewCentre = side / 2;
  buildTemplatePreview(workspace);
  buildMatchPreview(workspace);
  buildDifferencePreview(workspace);
}

}  // namespace orvalis
