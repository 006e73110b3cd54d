// "Chiudi", the close box and Esc all run the one close sequence: the timer
// stops, the camera is released, the window ends; and only once.

#include <QSignalSpy>

#include "tests/ui/windowFixture.h"

namespace orvalis::testing {
namespace {

class Close : public WindowTest {
 protected:
  void SetUp() override {
    cameraFolder();
    started();
    // Camera mode, streaming, timer running.
    ASSERT_EQ(state().cameraMode, 1);
    ASSERT_EQ(exitPath.scripts, std::vector<ExitScript>{ExitScript::ScannerMode});
    ASSERT_EQ(camera.starts, 1);
    ASSERT_TRUE(window().searchTimer().isActive());
  }

  void expectClosed(QSignalSpy& finished) {
    EXPECT_FALSE(window().searchTimer().isActive()) << "the timer still runs";
    EXPECT_EQ(camera.stops, 1) << "the camera must be released exactly once";
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(std::filesystem::exists(parametersFile())) << "nothing is saved at close";
  }
};

TEST_F(Close, ChiudiStopsTheTimerReleasesTheCameraAndEndsTheWindow) {
  QSignalSpy finished(&window(), &QDialog::finished);
  click(kCloseButton);
  expectClosed(finished);
}

TEST_F(Close, TheCloseBoxRunsTheSameSequenceOnce) {
  QSignalSpy finished(&window(), &QDialog::finished);
  EXPECT_TRUE(window().close());
  expectClosed(finished);
  // A second close request finds the sequence done.
  window().close();
  click(kCloseButton);
  EXPECT_EQ(camera.stops, 1);
  EXPECT_EQ(finished.count(), 1);
}

TEST_F(Close, EscRunsTheSameSequence) {
  QSignalSpy finished(&window(), &QDialog::finished);
  QTest::keyClick(&window(), Qt::Key_Escape);
  expectClosed(finished);
}

TEST_F(Close, EnterPressesTheFocusedButtonAndNeverCloses) {
  QSignalSpy finished(&window(), &QDialog::finished);
  click(kAdjustButton);
  // The buttons that had the focus are no default: Enter on a list does
  // nothing at all.
  list(kFramesPerSecondList)->setFocus();
  QTest::keyClick(list(kFramesPerSecondList), Qt::Key_Return);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_EQ(camera.stops, 0);

  const std::uint32_t y = state().viewfinderY;
  window().control(kDownButton)->setFocus();
  QTest::keyClick(window().control(kDownButton), Qt::Key_Enter);
  EXPECT_EQ(state().viewfinderY, y + state().viewfinderStep);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(window().searchTimer().isActive());
}

}  // namespace
}  // namespace orvalis::testing
