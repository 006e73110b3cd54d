// What the window looks like: where the views and previews are painted, and
// the icon.

#include <QFile>

#include "tests/ui/windowFixture.h"
#include "ui/appIcon.h"

namespace orvalis::testing {
namespace {

// Each picture one plain colour, so a pixel tells which picture covers it.
class Painting : public WindowTest {
 protected:
  static void fill(BgrImage& image, std::uint32_t width, std::uint32_t height, QRgb rgb) {
    for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
      image.data()[3 * i] = static_cast<std::uint8_t>(qBlue(rgb));
      image.data()[3 * i + 1] = static_cast<std::uint8_t>(qGreen(rgb));
      image.data()[3 * i + 2] = static_cast<std::uint8_t>(qRed(rgb));
    }
  }
  void pictures(std::uint32_t width, std::uint32_t height) {
    SearchState& s = state();
    ImageStore& im = ws->images;
    s.backgroundWidth = s.backgroundHeight = 8;
    fill(im.backgroundImage, 8, 8, kBackdrop);
    s.queryWidth = s.archiveWidth = width;
    s.queryHeight = s.archiveHeight = height;
    s.landscape = width >= height ? 1 : 0;
    fill(im.queryImage, width, height, kQuery);
    fill(im.archiveImage, width, height, kArchive);
    s.previewWidth = s.previewHeight = 41;
    fill(im.templatePreview, 41, 41, kTemplate);
    fill(im.matchPreview, 41, 41, kMatch);
    fill(im.differencePreview, 41, 41, kDifference);
  }
  QRgb at(int x, int y) { return window().clientArea()->grab().toImage().pixel(x, y) & 0xFFFFFF; }

  static constexpr QRgb kBackdrop = 0x3C3C3C, kQuery = 0xFF0000, kArchive = 0x00FF00, kTemplate = 0x0000FF,
                        kMatch = 0xFFFF00, kDifference = 0xFF00FF;
};

// Landscape: views 400 x 300 stacked, previews in a column at x 445;
// portrait: views 300 x 400 side by side, previews in a row at y 445.
TEST_F(Painting, ViewsAndPreviewsLandWhereTheLayoutPutsThem) {
  const struct {
    std::uint32_t width, height;
    int x, y;
    QRgb expected;
  } probes[] = {
      {640, 480, 200, 150, kQuery},    {640, 480, 399, 299, kQuery},      {640, 480, 200, 470, kArchive},
      {640, 480, 200, 310, kBackdrop}, {640, 480, 420, 150, kBackdrop},   {640, 480, 520, 150, kTemplate},
      {640, 480, 520, 320, kMatch},    {640, 480, 520, 490, kDifference}, {640, 480, 520, 235, kBackdrop},
      {640, 480, 700, 60, kBackdrop},  {640, 480, 949, 600, kBackdrop},   {480, 640, 150, 200, kQuery},
      {480, 640, 470, 200, kArchive},  {480, 640, 310, 200, kBackdrop},   {480, 640, 150, 520, kTemplate},
      {480, 640, 320, 520, kMatch},    {480, 640, 490, 520, kDifference},
  };
  state().painted = 1;
  state().searchStopped = 1;
  for (const auto& p : probes) {
    pictures(p.width, p.height);
    EXPECT_EQ(at(p.x, p.y), p.expected) << p.width << " x " << p.height << " at " << p.x << ", " << p.y;
  }
  // The control column's middle is no backdrop band.
  EXPECT_NE(at(700, 300), kBackdrop);
}

TEST_F(Painting, ViewsWaitForTheFirstTickAndPreviewsForAMatch) {
  pictures(640, 480);
  EXPECT_EQ(at(200, 150), kBackdrop) << "no tick has run yet";
  state().painted = 1;
  EXPECT_EQ(at(200, 150), kQuery);
  EXPECT_EQ(at(520, 150), kBackdrop) << "no match, no previews";
}

// A tick's scan runs on the window's scan thread, no other tick overlaps it,
// and its end repaints the client area with the match.
TEST_F(Painting, ASearchTickRepaintsTheClientAreaWithTheMatch) {
  stillFolder();
  started();
  for (int tick = 0; tick < 3 && state().searchStopped == 0; ++tick) {
    window().searchControl().onTimerTick();
    // The scan ends through the event loop, so it still runs for the next tick.
    const std::int32_t index = state().archiveIndex;
    window().searchControl().onTimerTick();
    EXPECT_EQ(state().archiveIndex, index) << "a tick overlapped the scan";
    QTRY_VERIFY_WITH_TIMEOUT(!window().searchControl().scanInFlight(), 20000);
  }
  ASSERT_EQ(state().searchStopped, 1);
  EXPECT_EQ(state().archiveIndex, 1);
  // 320 x 240: views 400 x 300, the template preview at 445, 75, 150 x 150;
  // the query view is gray.
  EXPECT_NE(at(520, 150), kBackdrop);
  const QRgb query = at(100, 100);
  EXPECT_TRUE(qRed(query) == qGreen(query) && qGreen(query) == qBlue(query)) << query;
}

using Shell = WindowTest;

// The installed icon, rendered from ui/orvalis.svg, must show what the window
// draws: anti-aliased edges differ a little, shapes and colours not.
TEST_F(Shell, TheIconComesInThreeSizesAndIsTheInstalledOne) {
  QList<QSize> sizes = window().windowIcon().availableSizes();
  std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
  EXPECT_EQ(sizes, (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(48, 48)}));
  const QString file = QStringLiteral(ORVALIS_BUILD_DIR "/icons/48x48/orvalis.png");
  if (!QFile::exists(file)) GTEST_SKIP() << "not rendered (no rsvg-convert)";
  const QImage installed = QImage(file).convertToFormat(QImage::Format_ARGB32);
  const QImage drawn = appIconImage(48).convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(installed.size(), drawn.size());
  int differing = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 48; ++x) {
      const QRgb a = installed.pixel(x, y), b = drawn.pixel(x, y);
      differing += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                             std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))}) > 64;
    }
  }
  EXPECT_LT(differing, 48 * 48 / 25) << "of 2304 pixels";
}

}  // namespace
}  // namespace orvalis::testing
