#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/glyphs.h"
#include "imaging/pixelConversions.h"
#include "matching/matchViews.h"
#include "state/constants.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

// Pictures 240 x 200, viewfinder of radius 40 at column 70, row 80.
constexpr std::uint32_t kWidth = 240, kHeight = 200;
constexpr std::uint32_t kViewX = 70, kViewY = 80, kRadius = 40;

class MatchViews : public ::testing::Test {
 protected:
  MatchViews() {
    SearchState& s = ws->state;
    s.queryWidth = s.archiveWidth = kWidth;
    s.queryHeight = s.archiveHeight = kHeight;
    s.viewfinderX = kViewX;
    s.viewfinderY = kViewY;
    s.viewfinderRadius = kRadius;
    s.colorTolerance = 16;
  }

  static std::size_t planeSize() { return std::size_t{kWidth} * kHeight; }

  // Loads the archive planes from a textured picture, with archiveGray from
  // them (standing in for the filtered gray plane) and archiveImage as their
  // gray picture, as the timer cycle leaves it before a match.
  void loadArchive(std::uint32_t seed) {
    ImageStore& im = ws->images;
    const testing::BgrPicture picture = testing::texturedPicture(kWidth, kHeight, seed);
    splitPlanes(picture.pixels.data(), kWidth, kHeight, im.archiveB.data(), im.archiveG.data(),
                im.archiveR.data());
    grayPlane(im.archiveB.data(), im.archiveG.data(), im.archiveR.data(), kWidth, kHeight,
              im.archiveGray.data());
    grayToBgr(im.archiveB.data(), im.archiveG.data(), im.archiveR.data(), kWidth, kHeight,
              im.archiveImage.data());
  }

  void copyArchiveToQuery() {
    ImageStore& im = ws->images;
    std::memcpy(im.queryB.data(), im.archiveB.data(), planeSize());
    std::memcpy(im.queryG.data(), im.archiveG.data(), planeSize());
    std::memcpy(im.queryR.data(), im.archiveR.data(), planeSize());
  }

  void makeQueryGray() {
    ImageStore& im = ws->images;
    grayPlane(im.queryB.data(), im.queryG.data(), im.queryR.data(), kWidth, kHeight, im.queryGray.data());
  }

  void setMatch(std::uint32_t x, std::uint32_t y, double angle) {
    SearchState& s = ws->state;
    s.matchFound = 1;
    s.matchX = x;
    s.matchY = y;
    s.matchRadius = kRadius;
    s.matchAngle = angle;
  }

  void setPreviewSize() {
    SearchState& s = ws->state;
    s.previewWidth = s.previewHeight = previewSide(s.viewfinderRadius);
    s.previewCentre = s.previewWidth / 2;
  }

  // One byte of a preview, after checking that its three bytes agree.
  std::uint8_t previewAt(const BgrImage& preview, std::uint32_t y, std::uint32_t x) const {
    const std::uint8_t* p = preview.data() + 3 * (std::size_t{y} * ws->state.previewWidth + x);
    EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "at " << y << ", " << x;
    return p[0];
  }

  bool insideDisc(std::uint32_t y, std::uint32_t x) const {
    const double dy = double(y) - ws->state.previewCentre, dx = double(x) - ws->state.previewCentre;
    return dy * dy + dx * dx < double(kRadius) * kRadius;
  }

  // The difference map: 30 inside the disc, black outside.
  void expectDifferenceAgreesEverywhere() {
    for (std::uint32_t y = 0; y < ws->state.previewHeight; ++y) {
      for (std::uint32_t x = 0; x < ws->state.previewWidth; ++x) {
        ASSERT_EQ(previewAt(ws->images.differencePreview, y, x), insideDisc(y, x) ? 30 : 0)
            << "at " << y << ", " << x;
      }
    }
  }

  bool matchPreviewEqualsTemplate() const {
    const std::size_t bytes = 3 * std::size_t{ws->state.previewWidth} * ws->state.previewHeight;
    const std::uint8_t* t = ws->images.templatePreview.data();
    return std::equal(t, t + bytes, ws->images.matchPreview.data());
  }

  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
};

TEST(PreviewSide, IsFourTimesTwelveTenthsOfHalfTheRadius) {
  EXPECT_EQ(previewSide(40), 96u);
  EXPECT_EQ(previewSide(41), 96u);
  EXPECT_EQ(previewSide(100), 240u);
  EXPECT_EQ(previewSide(200), 480u);
  EXPECT_EQ(previewSide(250), 600u);
  EXPECT_EQ(previewSide(43), 100u);  // half 21, u = 2520 / 100 = 25
  EXPECT_EQ(previewSide(1), 0u);
  EXPECT_EQ(previewSide(2), 4u);
  // Sides whose preview would not fit its buffer are refused, not wrapped.
  EXPECT_EQ(previewSide(600), 1440u);
  EXPECT_EQ(previewSide(700), 0u);
  EXPECT_EQ(previewSide(0xFFFFFFFFu), 0u);
}

TEST_F(MatchViews, SameArchiveAndQueryAtTheViewfinderGiveIdenticalViews) {
  loadArchive(7);
  copyArchiveToQuery();
  makeQueryGray();
  ImageStore& im = ws->images;
  std::vector<std::uint8_t> expectedArchive(im.archiveImage.data(), im.archiveImage.data() + 3 * planeSize());
  drawViewfinderGlyph(expectedArchive.data(), kWidth, kHeight, kViewX, kViewY, kRadius);
  setMatch(kViewX, kViewY, 0.0);

  prepareMatchViews(*ws);

  const SearchState& s = ws->state;
  EXPECT_EQ(s.searchStopped, 1);
  EXPECT_EQ(s.previewWidth, 96u);
  EXPECT_EQ(s.previewHeight, 96u);
  EXPECT_EQ(s.previewCentre, 48u);
  // At angle 0 the match glyph is the viewfinder glyph at the match.
  EXPECT_TRUE(std::equal(expectedArchive.begin(), expectedArchive.end(), im.archiveImage.data()));

  // The turned planes equal the archive's (everywhere, so inside the disc).
  EXPECT_TRUE(std::equal(im.archiveB.data(), im.archiveB.data() + planeSize(), im.rotatedArchiveB.data()));
  EXPECT_TRUE(std::equal(im.archiveG.data(), im.archiveG.data() + planeSize(), im.rotatedArchiveG.data()));
  EXPECT_TRUE(std::equal(im.archiveR.data(), im.archiveR.data() + planeSize(), im.rotatedArchiveR.data()));
  EXPECT_TRUE(
      std::equal(im.archiveGray.data(), im.archiveGray.data() + planeSize(), im.rotatedArchiveGray.data()));

  EXPECT_TRUE(matchPreviewEqualsTemplate());
  expectDifferenceAgreesEverywhere();
}

TEST_F(MatchViews, AQuarterTurnedMatchIsTurnedBackOntoTheTemplate) {
  // The query disc is the archive region around (row 110, column 150) turned
  // by a quarter: query (80 + a, 70 + b) = archive (110 + b, 150 - a).
  loadArchive(11);
  ImageStore& im = ws->images;
  const std::uint32_t matchX = 150, matchY = 110;
  const int r = kRadius;
  for (int a = -r; a <= r; ++a) {
    for (int b = -r; b <= r; ++b) {
      const std::size_t q = std::size_t(int(kViewY) + a) * kWidth + std::size_t(int(kViewX) + b);
      const std::size_t m = std::size_t(int(matchY) + b) * kWidth + std::size_t(int(matchX) - a);
      im.queryB[q] = im.archiveB[m];
      im.queryG[q] = im.archiveG[m];
      im.queryR[q] = im.archiveR[m];
    }
  }
  makeQueryGray();
  const std::vector<std::uint8_t> grayArchive(im.archiveImage.data(),
                                              im.archiveImage.data() + 3 * planeSize());
  setMatch(matchX, matchY, kQuarterTurn);

  prepareMatchViews(*ws);

  // The glyph: first marker 60 to the right of the match, second 60 below.
  auto marked = [&](std::uint32_t row, std::uint32_t column) {
    const std::size_t i = 3 * (std::size_t{row} * kWidth + column);
    return im.archiveImage[i] == 255 - grayArchive[i];
  };
  EXPECT_TRUE(marked(matchY, matchX));
  EXPECT_TRUE(marked(matchY, matchX + 60));
  EXPECT_TRUE(marked(matchY + 60, matchX));
  EXPECT_FALSE(marked(matchY - 60, matchX));
  EXPECT_FALSE(marked(matchY, matchX - 60));

  EXPECT_TRUE(matchPreviewEqualsTemplate());
  expectDifferenceAgreesEverywhere();
}

TEST_F(MatchViews, PreviewDiscIsStrictAndItsGrayTruncates) {
  ImageStore& im = ws->images;
  // Blue 2, green 3, red 3: gray 8 / 3 = 2 (rounding would give 3).
  for (ColorPlane* plane : {&im.queryB, &im.rotatedArchiveB}) std::memset(plane->data(), 2, planeSize());
  for (ColorPlane* plane : {&im.queryG, &im.queryR, &im.rotatedArchiveG, &im.rotatedArchiveR}) {
    std::memset(plane->data(), 3, planeSize());
  }
  setPreviewSize();
  buildTemplatePreview(*ws);
  buildMatchPreview(*ws);

  const std::uint32_t p = ws->state.previewCentre, r = kRadius;
  for (const BgrImage* preview : {&im.templatePreview, &im.matchPreview}) {
    EXPECT_EQ(previewAt(*preview, p, p), 2);
    // Exactly at distance R: outside, black; one pixel further in: painted.
    EXPECT_EQ(previewAt(*preview, p, p + r), 0);
    EXPECT_EQ(previewAt(*preview, p, p - r), 0);
    EXPECT_EQ(previewAt(*preview, p + r, p), 0);
    EXPECT_EQ(previewAt(*preview, p - r, p), 0);
    EXPECT_EQ(previewAt(*preview, p, p + r - 1), 2);
    EXPECT_EQ(previewAt(*preview, p - r + 1, p), 2);
    EXPECT_EQ(previewAt(*preview, 0, 0), 0);
    EXPECT_EQ(previewAt(*preview, 95, 95), 0);
  }
}

TEST_F(MatchViews, PreviewPixelsTakeTheSourceAtTheSameOffsetFromTheViewfinder) {
  loadArchive(3);
  copyArchiveToQuery();
  setPreviewSize();
  buildTemplatePreview(*ws);
  const ImageStore& im = ws->images;
  const std::uint32_t p = ws->state.previewCentre;
  for (int dy : {-39, -5, 0, 12, 39}) {
    for (int dx : {-1, 0, 3}) {
      const std::size_t i = std::size_t(int(kViewY) + dy) * kWidth + std::size_t(int(kViewX) + dx);
      const int gray = (im.queryB[i] + im.queryG[i] + im.queryR[i]) / 3;
      EXPECT_EQ(previewAt(im.templatePreview, p + dy, p + dx), gray) << dy << ", " << dx;
    }
  }
}

TEST_F(MatchViews, DifferenceMapPassesOnTheToleranceAndFailsOneAbove) {
  ImageStore& im = ws->images;
  std::memset(im.queryGray.data(), 100, planeSize());
  std::memset(im.rotatedArchiveGray.data(), 100, planeSize());
  // Along the viewfinder's row, tolerance 16: +16, +17, -16, -17, and the
  // widest difference, at columns +1 .. +5.
  const std::size_t centre = std::size_t{kViewY} * kWidth + kViewX;
  im.rotatedArchiveGray[centre + 1] = 116;
  im.rotatedArchiveGray[centre + 2] = 117;
  im.rotatedArchiveGray[centre + 3] = 84;
  im.rotatedArchiveGray[centre + 4] = 83;
  im.queryGray[centre + 5] = 0;
  im.rotatedArchiveGray[centre + 5] = 255;
  setPreviewSize();
  buildDifferencePreview(*ws);
  const std::uint32_t p = ws->state.previewCentre;
  EXPECT_EQ(previewAt(im.differencePreview, p, p), 30);
  EXPECT_EQ(previewAt(im.differencePreview, p, p + 1), 30);
  EXPECT_EQ(previewAt(im.differencePreview, p, p + 2), 255);
  EXPECT_EQ(previewAt(im.differencePreview, p, p + 3), 30);
  EXPECT_EQ(previewAt(im.differencePreview, p, p + 4), 255);
  EXPECT_EQ(previewAt(im.differencePreview, p, p + 5), 255);
  EXPECT_EQ(previewAt(im.differencePreview, p, p + kRadius), 0);
}

TEST_F(MatchViews, ARadiusBelowTwoLeavesThePreviewsEmptyAndUntouched) {
  ImageStore& im = ws->images;
  for (BgrImage* preview : {&im.templatePreview, &im.matchPreview, &im.differencePreview}) {
    std::memset(preview->data(), 0xEE, 16);
  }
  loadArchive(5);
  ws->state.viewfinderRadius = 1;
  setMatch(kViewX, kViewY, 0.0);
  ws->state.matchRadius = 1;
  prepareMatchViews(*ws);
  EXPECT_EQ(ws->state.previewWidth, 0u);
  EXPECT_EQ(ws->state.previewCentre, 0u);
  for (const BgrImage* preview : {&im.templatePreview, &im.matchPreview, &im.differencePreview}) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ((*preview)[i], 0xEE);
  }
}

}  // namespace
}  // namespace orvalis
