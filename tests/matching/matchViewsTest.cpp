#include <gtest/gtest.h>

#include <algorithm>

#include "matching/matchViews.h"
#include "state/constants.h"
#include "tests/matching/matchingHelpers.h"
#include "tests/support/quarterTurn.h"

namespace orvalis {
namespace {

TEST(PreviewSide, IsFourTimesTwelveTenthsOfHalfTheRadius) {
  // Half 21 for 43: u = 2520 / 100 = 25. Sides past the buffer are refused.
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {40, 96}, {41, 96}, {43, 100}, {250, 600}, {1, 0}, {2, 4}, {600, 1440}, {700, 0}, {0xFFFFFFFFu, 0}};
  for (const auto& [radius, side] : cases) EXPECT_EQ(previewSide(radius), side) << radius;
}

TEST(MatchViews, AQuarterTurnedMatchIsMarkedAndTurnedBackOntoTheTemplate) {
  // Pictures 240 x 200, viewfinder of radius 40 at (row 80, column 70); the
  // archive holds its disc turned by a quarter around (row 110, column 150).
  constexpr std::uint32_t kWidth = 240, kHeight = 200, kViewX = 70, kViewY = 80;
  constexpr int r = 40;
  auto ws = testing::freshWorkspace(kWidth, kHeight);  // tolerance 16
  SearchState& s = ws->state;
  ImageStore& im = ws->images;
  s.viewfinderX = kViewX;
  s.viewfinderY = kViewY;
  s.viewfinderRadius = s.matchRadius = r;
  const testing::BgrPicture query = testing::texturedPicture(kWidth, kHeight, 11);
  const testing::BgrPicture archive = testing::pasteQuarterTurn(
      query, kViewY, kViewX, testing::texturedPicture(kWidth, kHeight, 12), 110, 150, r);
  testing::splitInto(*ws, query, false);
  testing::splitInto(*ws, archive, true);
  // The compared gray planes hold blue alone, so previews of the wrong planes show.
  grayPlane(im.queryB.data(), im.queryB.data(), im.queryB.data(), kWidth, kHeight, im.queryGray.data());
  grayPlane(im.archiveB.data(), im.archiveB.data(), im.archiveB.data(), kWidth, kHeight,
            im.archiveGray.data());
  s.matchFound = 1;
  s.matchX = 150;
  s.matchY = 110;
  s.matchAngle = kQuarterTurn;
  prepareMatchViews(*ws);
  EXPECT_EQ(s.searchStopped, 1);
  ASSERT_EQ(s.previewWidth, 96u);
  // The glyph, inverting black: its markers turned to the right and below.
  const auto marked = [&](std::size_t row, std::size_t column) {
    return im.archiveImage[3 * (row * kWidth + column)] == 255;
  };
  EXPECT_TRUE(marked(110, 150) && marked(110, 210) && marked(170, 150));
  EXPECT_FALSE(marked(50, 150) || marked(110, 90));
  // One byte of a preview, after checking that its three bytes agree.
  const int c = static_cast<int>(s.previewCentre);
  const auto at = [&](const BgrImage& preview, int dy, int dx) {
    const std::uint8_t* p = preview.data() + 3 * (std::size_t(c + dy) * s.previewWidth + c + dx);
    EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "at " << dy << ", " << dx;
    return p[0];
  };
  // Strictly inside the disc: the query's gray, truncated, at the viewfinder
  // offset, the turned match the same, and differences within the tolerance.
  for (int dy = -c; dy < c; ++dy) {
    for (int dx = -c; dx < c; ++dx) {
      const bool inside = dy * dy + dx * dx < r * r;
      const std::uint8_t* q = query.pixels.data() + 3 * ((kViewY + dy) * kWidth + kViewX + dx);
      ASSERT_EQ(at(im.templatePreview, dy, dx), inside ? (q[0] + q[1] + q[2]) / 3 : 0) << dy << ", " << dx;
      ASSERT_EQ(at(im.matchPreview, dy, dx), at(im.templatePreview, dy, dx)) << dy << ", " << dx;
      ASSERT_EQ(at(im.differencePreview, dy, dx), inside ? 30 : 0) << dy << ", " << dx;
    }
  }
  // Along the viewfinder's row: differences of 0, +16, +17, -16, -17, 255.
  const std::size_t centre = std::size_t{kViewY} * kWidth + kViewX;
  const std::uint8_t queryRow[] = {100, 100, 100, 100, 100, 0}, turnedRow[] = {100, 116, 117, 84, 83, 255};
  std::copy_n(queryRow, 6, im.queryGray.data() + centre);
  std::copy_n(turnedRow, 6, im.rotatedArchiveGray.data() + centre);
  buildDifferencePreview(*ws);
  const int expected[] = {30, 30, 255, 30, 255, 255};
  for (int dx = 0; dx <= 5; ++dx) EXPECT_EQ(at(im.differencePreview, 0, dx), expected[dx]) << dx;
}

}  // namespace
}  // namespace orvalis
