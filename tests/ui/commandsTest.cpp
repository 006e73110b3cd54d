// Clicks and list choices reach their commands, and every viewfinder and
// parameter command rewrites the parameters file; the program writing the
// members to the controls is no command.

#include "tests/ui/windowFixture.h"

namespace orvalis::testing {
namespace {

class Commands : public WindowTest {
 protected:
  void SetUp() override {
    stillFolder();
    // Centre of the 320 x 240 picture, radius 50, step 10: every command is
    // admitted once.
    writeParameters({1, 8, 16, 10, 120, 160, 50});
    started();
    click(kAdjustButton);
    ASSERT_EQ(state().adjustMode, 1);
  }
};

TEST_F(Commands, EveryViewfinderButtonMovesOrResizesAndSaves) {
  struct Case {
    int id;
    std::uint32_t x, y, r;
  };
  const Case cases[] = {
      {kUpButton, 160, 110, 50},    {kDownButton, 160, 120, 50}, {kLeftButton, 150, 120, 50},
      {kRightButton, 160, 120, 50}, {kGrowButton, 160, 120, 60}, {kShrinkButton, 160, 120, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::filesystem::remove(parametersFile());
    click(c.id);
    EXPECT_EQ(state().viewfinderX, c.x);
    EXPECT_EQ(state().viewfinderY, c.y);
    EXPECT_EQ(state().viewfinderRadius, c.r);
    ASSERT_TRUE(std::filesystem::exists(parametersFile())) << "the click did not rewrite the file";
    const SearchParameters saved = savedParameters();
    EXPECT_EQ(saved.viewfinderX, c.x);
    EXPECT_EQ(saved.viewfinderY, c.y);
    EXPECT_EQ(saved.viewfinderRadius, c.r);
  }
}

TEST_F(Commands, EachStepRadioSetsItsStep) {
  const std::pair<int, std::uint32_t> radios[] = {
      {kStep50Radio, 50}, {kStep1Radio, 1}, {kStep25Radio, 25}, {kStep10Radio, 10}};
  for (const auto& [id, step] : radios) {
    SCOPED_TRACE(id);
    std::filesystem::remove(parametersFile());
    click(id);
    EXPECT_EQ(state().viewfinderStep, step);
    ASSERT_TRUE(std::filesystem::exists(parametersFile()));
    EXPECT_EQ(savedParameters().viewfinderStep, step);
  }
  // The new step drives the next move.
  click(kStep1Radio);
  click(kUpButton);
  EXPECT_EQ(state().viewfinderY, 119u);
}

TEST_F(Commands, UserListChoicesSetTheirParameterAndSave) {
  struct Case {
    int id;
    std::uint32_t SearchParameters::*field;
    std::uint32_t expected;  // the item after the current one
  };
  // framesPerSecond 1 -> 2, filterRadius 8 -> 9; colorTolerance is a byte,
  // checked below.
  const Case cases[] = {{kFramesPerSecondList, &SearchParameters::framesPerSecond, 2},
                        {kFilterRadiusList, &SearchParameters::filterRadius, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::filesystem::remove(parametersFile());
    list(c.id)->setFocus();
    QTest::keyClick(list(c.id), Qt::Key_Down);
    EXPECT_EQ(state().*c.field, c.expected);
    ASSERT_TRUE(std::filesystem::exists(parametersFile()));
    EXPECT_EQ(savedParameters().*c.field, c.expected);
  }
  std::filesystem::remove(parametersFile());
  QTest::keyClick(list(kColorToleranceList), Qt::Key_Up);
  EXPECT_EQ(state().colorTolerance, 14);
  ASSERT_TRUE(std::filesystem::exists(parametersFile()));
  EXPECT_EQ(savedParameters().colorTolerance, 14);

  // The new rate waits for the next search: adjust mode keeps 100 ms.
  EXPECT_EQ(window().searchTimer().interval(), 100);
  click(kNewSearchButton);
  EXPECT_EQ(window().searchTimer().interval(), 500);
}

TEST_F(Commands, ShowingParametersIsNoCommand) {
  std::filesystem::remove(parametersFile());
  window().showParameters({64, 3, 30, 50, 0, 0, 0});
  EXPECT_EQ(list(kFramesPerSecondList)->currentText(),
            QStringLiteral("Immagini elaborate per secondo:   64"));
  EXPECT_TRUE(button(kStep50Radio)->isChecked());
  EXPECT_EQ(state().framesPerSecond, 1u);
  EXPECT_EQ(state().filterRadius, 8u);
  EXPECT_EQ(state().colorTolerance, 16);
  EXPECT_EQ(state().viewfinderStep, 10u);
  EXPECT_FALSE(std::filesystem::exists(parametersFile()));
}

}  // namespace
}  // namespace orvalis::testing
