// Where the views and the previews go: the geometry for the picture sizes,
// and the pixels the client area shows.

#include <QEvent>
#include <QImage>
#include <cstring>

#include "tests/ui/windowFixture.h"
#include "ui/viewGeometry.h"

namespace orvalis::testing {
namespace {

void expectRect(const PixelRect& r, int x, int y, int width, int height) {
  EXPECT_EQ(r.x, x);
  EXPECT_EQ(r.y, y);
  EXPECT_EQ(r.width, width);
  EXPECT_EQ(r.height, height);
}

TEST(ViewGeometry, LandscapeStacksTheViewsWithThePreviewsInAColumn) {
  ViewGeometry g = viewGeometry(1920, 1080, 1920, 1080, true);
  EXPECT_DOUBLE_EQ(g.displayScale, 0.234375);
  expectRect(g.queryView, 0, 0, 450, 253);
  expectRect(g.archiveView, 0, 320, 450, 253);
  expectRect(g.previews[0], 470, 75, 150, 150);
  expectRect(g.previews[1], 470, 245, 150, 150);
  expectRect(g.previews[2], 470, 415, 150, 150);

  g = viewGeometry(640, 480, 640, 480, true);
  EXPECT_DOUBLE_EQ(g.displayScale, 0.625);
  expectRect(g.queryView, 0, 0, 400, 300);
  expectRect(g.archiveView, 0, 320, 400, 300);
  for (const PixelRect& p : g.previews) EXPECT_EQ(p.x, 445);
}

TEST(ViewGeometry, PortraitPutsTheViewsSideBySideWithThePreviewsInARow) {
  const ViewGeometry g = viewGeometry(480, 640, 480, 640, false);
  EXPECT_DOUBLE_EQ(g.displayScale, 0.625);
  expectRect(g.queryView, 0, 0, 300, 400);
  expectRect(g.archiveView, 320, 0, 300, 400);
  expectRect(g.previews[0], 75, 445, 150, 150);
  expectRect(g.previews[1], 245, 445, 150, 150);
  expectRect(g.previews[2], 415, 445, 150, 150);
}

TEST(ViewGeometry, ASquarePictureFollowsTheLandscapeLayoutAndNoPictureDrawsNothing) {
  const ViewGeometry square = viewGeometry(600, 600, 600, 600, true);
  EXPECT_DOUBLE_EQ(square.displayScale, 0.5);
  expectRect(square.archiveView, 0, 320, 300, 300);
  EXPECT_EQ(square.previews[0].x, 395);

  const ViewGeometry none = viewGeometry(0, 0, 0, 0, true);
  EXPECT_EQ(none.displayScale, 0);
  EXPECT_EQ(none.viewWidth, 0);
  EXPECT_EQ(none.viewHeight, 0);
}

// The window over hand-filled buffers: each picture one plain colour, so a
// pixel tells which picture covers it.
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
  QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
  QImage shot() { return window().clientArea()->grab().toImage(); }

  static constexpr QRgb kBackdrop = 0x3C3C3C, kQuery = 0xFF0000, kArchive = 0x00FF00, kTemplate = 0x0000FF,
                        kMatch = 0xFFFF00, kDifference = 0xFF00FF;
};

TEST_F(Painting, LandscapeViewsAndPreviewsLandWhereTheGeometrySays) {
  pictures(640, 480);  // views 400 x 300, previews at x 445
  state().painted = 1;
  state().searchStopped = 1;
  const QImage image = shot();
  EXPECT_EQ(at(image, 200, 150), kQuery);
  EXPECT_EQ(at(image, 399, 299), kQuery);
  EXPECT_EQ(at(image, 200, 470), kArchive);
  EXPECT_EQ(at(image, 200, 310), kBackdrop) << "the gap between the views";
  EXPECT_EQ(at(image, 420, 150), kBackdrop) << "right of the views";
  EXPECT_EQ(at(image, 520, 150), kTemplate);
  EXPECT_EQ(at(image, 520, 320), kMatch);
  EXPECT_EQ(at(image, 520, 490), kDifference);
  EXPECT_EQ(at(image, 520, 235), kBackdrop) << "between two previews";
  // The bands of the control column carry the backdrop, the middle does not.
  EXPECT_EQ(at(image, 700, 60), kBackdrop);
  EXPECT_EQ(at(image, 949, 600), kBackdrop);
  EXPECT_NE(at(image, 700, 300), kBackdrop);
  EXPECT_NE(at(image, 960, 60), kBackdrop);
}

TEST_F(Painting, PortraitViewsStandSideBySideWithThePreviewsBelow) {
  pictures(480, 640);  // views 300 x 400, previews at y 445
  state().painted = 1;
  state().searchStopped = 1;
  const QImage image = shot();
  EXPECT_EQ(at(image, 150, 200), kQuery);
  EXPECT_EQ(at(image, 470, 200), kArchive);
  EXPECT_EQ(at(image, 310, 200), kBackdrop);
  EXPECT_EQ(at(image, 150, 520), kTemplate);
  EXPECT_EQ(at(image, 320, 520), kMatch);
  EXPECT_EQ(at(image, 490, 520), kDifference);
}

TEST_F(Painting, ViewsWaitForTheFirstTickAndPreviewsForAMatch) {
  pictures(640, 480);
  QImage image = shot();
  EXPECT_EQ(at(image, 200, 150), kBackdrop) << "no tick has run yet";
  EXPECT_EQ(at(image, 200, 470), kBackdrop);

  state().painted = 1;
  image = shot();
  EXPECT_EQ(at(image, 200, 150), kQuery);
  EXPECT_EQ(at(image, 520, 150), kBackdrop) << "no match, no previews";
}

// A tick asks for a repaint; the paint itself comes from the event loop.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

TEST_F(Painting, ASearchTickRepaintsTheClientAreaWithTheMatch) {
  stillFolder();
  started();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
  PaintCounter counter;
  window().clientArea()->installEventFilter(&counter);
  // Picture 0 holds nothing of the query, picture 1 is the query itself.
  // Each scan runs on the window's scan thread; the next tick waits for it.
  for (int tick = 0; tick < 3 && state().searchStopped == 0; ++tick) {
    window().searchControl().onTimerTick();
    QTRY_VERIFY_WITH_TIMEOUT(!window().searchControl().scanInFlight(), 20000);
  }
  ASSERT_EQ(state().searchStopped, 1);
  EXPECT_EQ(state().archiveIndex, 1);
  QTRY_VERIFY(counter.paints > 0);

  // 320 x 240: views 400 x 300, the template preview at 445, 75.
  const QImage image = shot();
  const ViewGeometry g = viewGeometry(kWidth, kHeight, kWidth, kHeight, true);
  const PixelRect& preview = g.previews[0];
  EXPECT_NE(at(image, preview.x + preview.width / 2, preview.y + preview.height / 2), 0x3C3C3Cu);
  // The query view is the gray picture with the viewfinder glyph.
  const QRgb query = image.pixel(100, 100);
  EXPECT_EQ(qRed(query), qGreen(query));
  EXPECT_EQ(qGreen(query), qBlue(query));
}

}  // namespace
}  // namespace orvalis::testing
