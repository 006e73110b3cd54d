// What the window shows, hides, enables and disables after start-up and after
// each mode command, and the timer period it runs with.

#include "tests/ui/windowFixture.h"

namespace orvalis::testing {
namespace {

class Modes : public WindowTest {
 protected:
  void SetUp() override { stillFolder(); }

  void expectSearchMode(const char* when) {
    SCOPED_TRACE(when);
    for (int id : kParameterControls) EXPECT_FALSE(window().control(id)->isEnabled()) << id;
    EXPECT_FALSE(window().control(kAdjustButton)->isHidden());
    EXPECT_TRUE(window().control(kNewSearchButton)->isHidden());
    EXPECT_TRUE(window().control(kCloseButton)->isEnabled());
    EXPECT_FALSE(window().control(kCloseButton)->isHidden());
  }
  void expectAdjustMode() {
    for (int id : kParameterControls) EXPECT_TRUE(window().control(id)->isEnabled()) << id;
    EXPECT_TRUE(window().control(kAdjustButton)->isHidden());
    EXPECT_FALSE(window().control(kNewSearchButton)->isHidden());
    EXPECT_TRUE(window().control(kCloseButton)->isEnabled());
  }
};

TEST_F(Modes, StartUpGreysTheParameterControlsAndShowsTheDefaults) {
  started();
  expectSearchMode("after start-up");
  EXPECT_EQ(qobject_cast<QAbstractButton*>(window().control(kAdjustButton))->text(),
            QStringLiteral("Modifica i parametri della ricerca"));
  EXPECT_EQ(list(kFramesPerSecondList)->currentText(), QStringLiteral("Immagini elaborate per secondo:   1"));
  EXPECT_EQ(list(kFilterRadiusList)->currentText(),
            QStringLiteral("Raggio della filtrazione immagine:   8 pixels"));
  EXPECT_EQ(list(kColorToleranceList)->currentText(),
            QStringLiteral("Precisione cromatica della ricerca:   16"));
  EXPECT_TRUE(button(kStep25Radio)->isChecked());
  EXPECT_TRUE(window().searchTimer().isActive());
  EXPECT_EQ(window().searchTimer().interval(), 1000);
  EXPECT_TRUE(exitPath.scripts.empty()) << "still-image mode runs no script";
}

TEST_F(Modes, TheProgramStartsMinimized) {
  window().initDialog();
  EXPECT_TRUE(window().windowState() & Qt::WindowMinimized);
}

TEST_F(Modes, AdjustAndNewSearchSwapTheButtonsAndTheControls) {
  writeParameters({4, 8, 16, 25, 0, 0, 0});
  started();
  click(kAdjustButton);
  expectAdjustMode();
  EXPECT_EQ(state().adjustMode, 1);
  EXPECT_EQ(window().searchTimer().interval(), 100);

  click(kNewSearchButton);
  expectSearchMode("after a new search");
  EXPECT_EQ(state().adjustMode, 0);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_TRUE(window().searchTimer().isActive());
  EXPECT_EQ(window().searchTimer().interval(), 250);

  click(kAdjustButton);
  expectAdjustMode();
}

}  // namespace
}  // namespace orvalis::testing
