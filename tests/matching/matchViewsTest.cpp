#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/pixelConversions.h"
#include "matching/matchViews.h"
#include "state/constants.h"
#include "tests/support/quarterTurn.h"

namespace orvalis {
namespace {

// Pictures 240 x 200, viewfinder of radius 40 at column 70, row 80.
constexpr std::uint32_t kWidth = 240, kHeight = 200, kViewX = 70, kViewY = 80, kRadius = 40;
constexpr std::size_t kPlane = std::size_t{kWidth} * kHeight;

TEST(PreviewSide, IsFourTimesTwelveTenthsOfHalfTheRadius) {
  // Half 21 for 43: u = 2520 / 100 = 25. Sides past the buffer are refused.
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {40, 96}, {41, 96}, {43, 100}, {250, 600}, {1, 0}, {2, 4}, {600, 1440}, {700, 0}, {0xFFFFFFFFu, 0}};
  for (const auto& [radius, side] : cases) EXPECT_EQ(previewSide(radius), side) << radius;
}

class MatchViews : public ::testing::Test {
 protected:
  MatchViews() {
    s.queryWidth = s.archiveWidth = kWidth;
    s.queryHeight = s.archiveHeight = kHeight;
    s.viewfinderX = kViewX;
    s.viewfinderY = kViewY;
    s.viewfinderRadius = kRadius;
    s.colorTolerance = 16;
    s.previewWidth = s.previewHeight = previewSide(kRadius);
    s.previewCentre = s.previewWidth / 2;
  }
  // One byte of a preview, after checking that its three bytes agree.
  std::uint8_t previewAt(const BgrImage& preview, int dy, int dx) const {
    const std::uint8_t* p =
        preview.data() + 3 * (std::size_t(s.previewCentre + dy) * s.previewWidth + s.previewCentre + dx);
    EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "at " << dy << ", " << dx;
    return p[0];
  }
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  SearchState& s = ws->state;
  ImageStore& im = ws->images;
};

TEST_F(MatchViews, AQuarterTurnedMatchIsMarkedAndTurnedBackOntoTheTemplate) {
  // The archive holds the query's disc turned by a quarter around (row 110, column 150).
  const testing::BgrPicture query = testing::texturedPicture(kWidth, kHeight, 11);
  const testing::BgrPicture archive = testing::pasteQuarterTurn(
      query, kViewY, kViewX, testing::texturedPicture(kWidth, kHeight, 12), 110, 150, kRadius);
  splitPlanes(query.pixels.data(), kWidth, kHeight, im.queryB.data(), im.queryG.data(), im.queryR.data());
  grayPlane(im.queryB.data(), im.queryG.data(), im.queryR.data(), kWidth, kHeight, im.queryGray.data());
  splitPlanes(archive.pixels.data(), kWidth, kHeight, im.archiveB.data(), im.archiveG.data(),
              im.archiveR.data());
  grayPlane(im.archiveB.data(), im.archiveG.data(), im.archiveR.data(), kWidth, kHeight,
            im.archiveGray.data());
  std::memset(im.archiveImage.data(), 0, 3 * kPlane);
  s.previewWidth = s.previewHeight = s.previewCentre = 0;
  s.matchFound = 1;
  s.matchX = 150;
  s.matchY = 110;
  s.matchRadius = kRadius;
  s.matchAngle = kQuarterTurn;
  prepareMatchViews(*ws);
  EXPECT_EQ(s.searchStopped, 1);
  EXPECT_EQ(s.previewWidth, 96u);
  // The glyph, inverting black: its markers turned to the right and below.
  const auto marked = [&](std::size_t row, std::size_t column) {
    return im.archiveImage[3 * (row * kWidth + column)] == 255;
  };
  EXPECT_TRUE(marked(110, 150) && marked(110, 210) && marked(170, 150));
  EXPECT_FALSE(marked(50, 150) || marked(110, 90));
  const std::size_t bytes = 3 * std::size_t{s.previewWidth} * s.previewHeight;
  EXPECT_TRUE(
      std::equal(im.templatePreview.data(), im.templatePreview.data() + bytes, im.matchPreview.data()));
  // The difference map: 30 strictly inside the disc, black outside.
  const int c = static_cast<int>(s.previewCentre), r = kRadius;
  for (int dy = -c; dy < c; ++dy) {
    for (int dx = -c; dx < c; ++dx)
      ASSERT_EQ(previewAt(im.differencePreview, dy, dx), dy * dy + dx * dx < r * r ? 30 : 0)
          << dy << ", " << dx;
  }
}

TEST_F(MatchViews, PreviewsTakeTheStrictDiscAtTheViewfinderOffsetAndTruncateTheirGray) {
  // Blue 2 + column, green and red 4: gray (10 + column) / 3, truncated.
  for (std::size_t i = 0; i < kPlane; ++i) {
    im.queryB[i] = im.rotatedArchiveB[i] = static_cast<std::uint8_t>(2 + i % kWidth);
    im.queryG[i] = im.queryR[i] = im.rotatedArchiveG[i] = im.rotatedArchiveR[i] = 4;
  }
  // Gray 100, along the viewfinder's row +16, +17, -16, -17 and the widest.
  std::memset(im.queryGray.data(), 100, kPlane);
  std::memset(im.rotatedArchiveGray.data(), 100, kPlane);
  const std::size_t centre = std::size_t{kViewY} * kWidth + kViewX;
  const std::uint8_t values[] = {116, 117, 84, 83, 255};
  for (int k = 0; k < 5; ++k) im.rotatedArchiveGray[centre + 1 + k] = values[k];
  im.queryGray[centre + 5] = 0;
  buildTemplatePreview(*ws);
  buildMatchPreview(*ws);
  buildDifferencePreview(*ws);
  const int r = kRadius;
  for (const BgrImage* preview : {&im.templatePreview, &im.matchPreview}) {
    for (const auto& [dy, dx] : {std::pair{0, 0}, {0, r - 1}, {-r + 1, 0}, {5, -12}, {-20, 30}}) {
      EXPECT_EQ(previewAt(*preview, dy, dx), (10 + int(kViewX) + dx) / 3) << dy << ", " << dx;
    }
    for (const auto& [dy, dx] : {std::pair{0, r}, {0, -r}, {r, 0}, {-r, 0}, {-48, -48}}) {
      EXPECT_EQ(previewAt(*preview, dy, dx), 0) << dy << ", " << dx;
    }
  }
  const int expected[] = {30, 30, 255, 30, 255, 255};
  for (int dx = 0; dx <= 5; ++dx) EXPECT_EQ(previewAt(im.differencePreview, 0, dx), expected[dx]) << dx;
}

}  // namespace
}  // namespace orvalis
