// The application shell around the window: the About entry and box, the
// drawn icon.

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "tests/ui/windowFixture.h"
#include "ui/aboutDlg.h"
#include "ui/appIcon.h"

namespace orvalis::testing {
namespace {

using Shell = WindowTest;

TEST_F(Shell, TheAboutEntryIsInTheMenuBarAndTheContextMenu) {
  const QList<QAction*> menus = window().menuBar()->actions();
  ASSERT_EQ(menus.size(), 1);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("?"));
  ASSERT_NE(menus[0]->menu(), nullptr);
  EXPECT_TRUE(menus[0]->menu()->actions().contains(window().aboutAction()));
  EXPECT_EQ(window().aboutAction()->text(), QStringLiteral("&About Orvalis..."));
  EXPECT_EQ(window().clientArea()->contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_TRUE(window().clientArea()->actions().contains(window().aboutAction()));
}

TEST_F(Shell, TheAboutBoxIsModalAndTheTimerTicksOnMeanwhile) {
  stillFolder();
  started();
  click(kAdjustButton);  // 100 ms ticks that only redraw the query view
  QSignalSpy ticks(&window().searchTimer(), &QTimer::timeout);

  bool seen = false;
  int ticksWhileOpen = 0;
  // Inspect the box from inside its own modal loop, then close it with OK.
  QTimer::singleShot(450, [&] {
    auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr) << "no modal About box";
    seen = true;
    ticksWhileOpen = static_cast<int>(ticks.count());
    EXPECT_TRUE(about->isModal());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Orvalis"));
    bool hasText = false;
    for (const QLabel* label : about->findChildren<QLabel*>()) {
      if (label->text().startsWith(QStringLiteral("Orvalis 1.0"))) hasText = true;
    }
    EXPECT_TRUE(hasText);
    const QList<QPushButton*> buttons = about->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("OK"));
    EXPECT_TRUE(buttons[0]->isDefault());
    QTest::mouseClick(buttons[0], Qt::LeftButton);
  });
  window().aboutAction()->trigger();  // returns when the box is closed
  EXPECT_TRUE(seen);
  EXPECT_GE(ticksWhileOpen, 2) << "the timer stood still while the About box was open";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Shell, TheIconComesInThreeSizesAndIsTheWindowIcon) {
  QList<QSize> sizes = appIcon().availableSizes();
  std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
  EXPECT_EQ(sizes, (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(48, 48)}));
  EXPECT_EQ(window().windowIcon().availableSizes().size(), 3);

  // Drawn, not blank: the corner is transparent, the ring and the dots are
  // not the backdrop.
  const QImage image = appIconImage(48);
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(image.pixel(24, 24)), 255);
  EXPECT_NE(image.pixel(24, 24), image.pixel(24, 10)) << "no centre dot";
  EXPECT_NE(image.pixel(24, 9), image.pixel(10, 24)) << "the top marker looks like the ring";
}

// The installed icon is rendered from ui/orvalis.svg; it must show what the
// window draws. Anti-aliased edges differ a little, shapes and colours not.
TEST(InstalledIcon, IsTheDrawnIcon) {
  const QString file = QStringLiteral(ORVALIS_BUILD_DIR "/icons/48x48/orvalis.png");
  if (!QFile::exists(file)) GTEST_SKIP() << "not rendered (no rsvg-convert)";
  const QImage installed = QImage(file).convertToFormat(QImage::Format_ARGB32);
  const QImage drawn = appIconImage(48).convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(installed.size(), drawn.size());
  int differing = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 48; ++x) {
      const QRgb a = installed.pixel(x, y), b = drawn.pixel(x, y);
      const int difference = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                       std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
      if (difference > 64) ++differing;
    }
  }
  EXPECT_LT(differing, 48 * 48 / 25) << "of 2304 pixels";
}

}  // namespace
}  // namespace orvalis::testing
