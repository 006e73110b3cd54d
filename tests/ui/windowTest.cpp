// The window's controls reach their commands: close, modes, viewfinder and
// parameter commands, and what the controls show.

#include <QSignalSpy>
#include <functional>

#include "tests/ui/windowFixture.h"

namespace orvalis::testing {
namespace {

using Close = WindowTest;

TEST_F(Close, ChiudiTheCloseBoxAndEscRunTheOneCloseSequenceOnce) {
  const std::pair<const char*, std::function<void(WindowHarness&)>> ways[] = {
      {"Chiudi", [](WindowHarness& h) { h.click(kCloseButton); }},
      {"close box", [](WindowHarness& h) { h.window().close(); }},
      {"Esc", [](WindowHarness& h) { QTest::keyClick(&h.window(), Qt::Key_Escape); }},
  };
  for (const auto& [name, close] : ways) {
    SCOPED_TRACE(name);
    WindowHarness h;
    h.cameraFolder();
    h.started();
    ASSERT_TRUE(h.window().searchTimer().isActive());
    QSignalSpy finished(&h.window(), &QDialog::finished);
    close(h);
    close(h);
    EXPECT_FALSE(h.window().searchTimer().isActive());
    EXPECT_EQ(h.camera.stops, 1) << "the camera must be released exactly once";
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(h.window().isVisible());
    EXPECT_FALSE(std::filesystem::exists(h.parametersFile())) << "nothing is saved at close";
  }
}

// No button is the default: Enter presses the focused button and does
// nothing on a list.
TEST_F(Close, EnterPressesTheFocusedButtonAndNeverCloses) {
  cameraFolder();
  started();
  QSignalSpy finished(&window(), &QDialog::finished);
  click(kAdjustButton);
  list(kFramesPerSecondList)->setFocus();
  QTest::keyClick(list(kFramesPerSecondList), Qt::Key_Return);
  const std::uint32_t y = state().viewfinderY;
  window().control(kDownButton)->setFocus();
  QTest::keyClick(window().control(kDownButton), Qt::Key_Enter);
  EXPECT_EQ(state().viewfinderY, y + state().viewfinderStep);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_EQ(camera.stops, 0);
}

class Modes : public WindowTest {
 protected:
  void SetUp() override { stillFolder(); }
  void expectMode(bool adjust) {
    for (int id : kParameterControls) EXPECT_EQ(window().control(id)->isEnabled(), adjust) << id;
    EXPECT_EQ(window().control(kAdjustButton)->isHidden(), adjust);
    EXPECT_EQ(window().control(kNewSearchButton)->isHidden(), !adjust);
  }
};

TEST_F(Modes, StartUpIsMinimizedInSearchModeWithTheDefaultsShown) {
  window().initDialog();
  EXPECT_TRUE(window().windowState() & Qt::WindowMinimized);
  expectMode(false);
  EXPECT_EQ(list(kFramesPerSecondList)->currentText(), QStringLiteral("Immagini elaborate per secondo:   1"));
  EXPECT_EQ(list(kFilterRadiusList)->currentText(),
            QStringLiteral("Raggio della filtrazione immagine:   8 pixels"));
  EXPECT_EQ(list(kColorToleranceList)->currentText(),
            QStringLiteral("Precisione cromatica della ricerca:   16"));
  EXPECT_TRUE(button(kStep25Radio)->isChecked());
  EXPECT_EQ(window().searchTimer().interval(), 1000);
  EXPECT_TRUE(exitPath.scripts.empty()) << "still-image mode runs no script";
}

TEST_F(Modes, AdjustAndNewSearchSwapTheButtonsTheControlsAndTheTimerPeriod) {
  writeParameters({4, 8, 16, 25, 0, 0, 0});
  started();
  click(kAdjustButton);
  expectMode(true);
  EXPECT_EQ(window().searchTimer().interval(), 100);
  click(kNewSearchButton);
  expectMode(false);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_TRUE(window().searchTimer().isActive());
  EXPECT_EQ(window().searchTimer().interval(), 250);
}

class Commands : public WindowTest {
 protected:
  void SetUp() override {
    stillFolder();
    // Centre of the picture, radius 50, step 10: every command is admitted.
    writeParameters({1, 8, 16, 10, 120, 160, 50});
    started();
    click(kAdjustButton);
    ASSERT_EQ(state().adjustMode, 1);
  }
};

TEST_F(Commands, EachButtonRadioAndListSetsItsParameterAndSaves) {
  const auto press = [this](int id) { return [this, id] { click(id); }; };
  const auto key = [this](int id, Qt::Key k) { return [this, id, k] { QTest::keyClick(list(id), k); }; };
  // In turn, from the centre with radius 50 and step 10. The parameters:
  // rate, filter, tolerance, step, row, column, radius.
  const struct {
    const char* what;
    std::function<void()> act;
    SearchParameters expected;
  } rows[] = {
      {"Alto", press(kUpButton), {1, 8, 16, 10, 110, 160, 50}},
      {"Basso", press(kDownButton), {1, 8, 16, 10, 120, 160, 50}},
      {"Sinistra", press(kLeftButton), {1, 8, 16, 10, 120, 150, 50}},
      {"Destra", press(kRightButton), {1, 8, 16, 10, 120, 160, 50}},
      {"Aumenta", press(kGrowButton), {1, 8, 16, 10, 120, 160, 60}},
      {"Diminuisci", press(kShrinkButton), {1, 8, 16, 10, 120, 160, 50}},
      {"step 50", press(kStep50Radio), {1, 8, 16, 50, 120, 160, 50}},
      {"step 25", press(kStep25Radio), {1, 8, 16, 25, 120, 160, 50}},
      {"step 10", press(kStep10Radio), {1, 8, 16, 10, 120, 160, 50}},
      {"step 1", press(kStep1Radio), {1, 8, 16, 1, 120, 160, 50}},
      {"rate", key(kFramesPerSecondList, Qt::Key_Down), {2, 8, 16, 1, 120, 160, 50}},
      {"filter", key(kFilterRadiusList, Qt::Key_Down), {2, 9, 16, 1, 120, 160, 50}},
      {"tolerance", key(kColorToleranceList, Qt::Key_Up), {2, 9, 14, 1, 120, 160, 50}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::filesystem::remove(parametersFile());
    row.act();
    EXPECT_EQ(SearchParameters(state()), row.expected);
    EXPECT_EQ(savedParameters(), row.expected);
  }
  // The new step drives the next move; the new rate waits for a new search.
  click(kUpButton);
  EXPECT_EQ(state().viewfinderY, 119u);
  EXPECT_EQ(window().searchTimer().interval(), 100);
  click(kNewSearchButton);
  EXPECT_EQ(window().searchTimer().interval(), 500);
}

// Values the lists don't offer are used by the search, so no item may claim
// them; an unknown step shows the first step. Showing is no command.
TEST_F(Commands, ShownParametersSelectTheirItemsAndAreNoCommand) {
  std::filesystem::remove(parametersFile());
  const int steps[4] = {kStep1Radio, kStep10Radio, kStep25Radio, kStep50Radio};
  const struct {
    SearchParameters shown;
    const char *framesPerSecond, *filterRadius, *colorTolerance;  // "" for no selection
    int checkedStep;
  } rows[] = {
      {{256, 20, 40, 50, 0, 0, 0}, "secondo:   256", "immagine:   20 pixels", "ricerca:   40", 3},
      {{3, 0, 17, 7, 0, 0, 0}, "", "", "", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shown.framesPerSecond);
    window().showParameters(row.shown);
    const std::pair<int, const char*> shown[] = {{kFramesPerSecondList, row.framesPerSecond},
                                                 {kFilterRadiusList, row.filterRadius},
                                                 {kColorToleranceList, row.colorTolerance}};
    for (const auto& [id, text] : shown) {
      const QString current = list(id)->currentText();
      EXPECT_TRUE(*text == '\0' ? list(id)->currentIndex() == -1 : current.endsWith(QString::fromUtf8(text)))
          << current.toStdString() << " for '" << text << "'";
    }
    for (int j = 0; j < 4; ++j) EXPECT_EQ(button(steps[j])->isChecked(), j == row.checkedStep) << j;
  }
  EXPECT_EQ(state().framesPerSecond, 1u);
  EXPECT_EQ(state().filterRadius, 8u);
  EXPECT_EQ(state().colorTolerance, 16);
  EXPECT_EQ(state().viewfinderStep, 10u);
  EXPECT_FALSE(std::filesystem::exists(parametersFile()));
}

}  // namespace
}  // namespace orvalis::testing
