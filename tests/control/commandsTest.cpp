#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

namespace fs = std::filesystem;

class Commands : public ControlTest {
 protected:
  void SetUp() override {
    folder({solidPicture(640, 480, 50, 50, 50)}, solidPicture(640, 480, 50, 50, 50));
    control().startUp();
    control().enterAdjustMode();
  }
  SearchParameters saved() {
    SearchParameters p;
    EXPECT_EQ(loadParameters(p, "res/Combo_Box_Parameters.bin"), FileStatus::Ok)
        << "the command did not save";
    return p;
  }
};

TEST_F(Commands, ViewfinderCommandsAdmitEqualityAtEveryLimitAndSaveEitherWay) {
  struct Case {
    const char* what;
    void (SearchControl::*command)();
    std::uint32_t x, y, r, step, newX, newY, newR;  // on a 640 x 480 picture
  };
  const Case cases[] = {
      {"up to a margin of 1", &SearchControl::moveViewfinderUp, 320, 61, 50, 10, 320, 51, 50},
      {"up to a margin of 0", &SearchControl::moveViewfinderUp, 320, 60, 50, 10, 320, 60, 50},
      {"down to h - 2", &SearchControl::moveViewfinderDown, 320, 398, 70, 10, 320, 408, 70},
      {"down to h", &SearchControl::moveViewfinderDown, 320, 400, 70, 10, 320, 400, 70},
      {"left to a margin of 1", &SearchControl::moveViewfinderLeft, 61, 240, 50, 10, 51, 240, 50},
      {"left to a margin of 0", &SearchControl::moveViewfinderLeft, 60, 240, 50, 10, 60, 240, 50},
      {"right to w - 2", &SearchControl::moveViewfinderRight, 578, 240, 50, 10, 588, 240, 50},
      {"right to w - 1", &SearchControl::moveViewfinderRight, 579, 240, 50, 10, 579, 240, 50},
      {"grow to a margin of 1", &SearchControl::growViewfinder, 320, 229, 178, 50, 320, 229, 228},
      {"grow past the picture", &SearchControl::growViewfinder, 320, 251, 200, 50, 320, 251, 200},
      {"grow past 250, not cut down", &SearchControl::growViewfinder, 320, 240, 240, 25, 320, 240, 240},
      {"shrink to 40", &SearchControl::shrinkViewfinder, 320, 240, 50, 10, 320, 240, 40},
      {"shrink below 40", &SearchControl::shrinkViewfinder, 320, 240, 45, 10, 320, 240, 45},
  };
  for (const Case& c : cases) {
    state().viewfinderX = c.x;
    state().viewfinderY = c.y;
    state().viewfinderRadius = c.r;
    state().viewfinderStep = c.step;
    fs::remove("res/Combo_Box_Parameters.bin");
    const std::vector<std::uint8_t> before(ws->images.queryImage.data(),
                                           ws->images.queryImage.data() + 640 * 480 * 3);
    (control().*c.command)();
    EXPECT_EQ(state().viewfinderX, c.newX) << c.what;
    EXPECT_EQ(state().viewfinderY, c.newY) << c.what;
    EXPECT_EQ(state().viewfinderRadius, c.newR) << c.what;
    const SearchParameters p = saved();
    EXPECT_EQ(std::vector<std::uint32_t>({p.viewfinderX, p.viewfinderY, p.viewfinderRadius}),
              std::vector<std::uint32_t>({c.newX, c.newY, c.newR}))
        << c.what;
    // An admitted step draws the glyph at its new place; a refused one draws nothing.
    const bool admitted = c.newX != c.x || c.newY != c.y || c.newR != c.r;
    EXPECT_EQ(!std::equal(before.begin(), before.end(), ws->images.queryImage.data()), admitted) << c.what;
  }
}

TEST_F(Commands, ParameterCommandsAreSavedAndTakeEffectWithANewSearch) {
  EXPECT_EQ(window.mode, WindowMode::Adjust);
  control().selectViewfinderStep(50);
  control().selectFramesPerSecond(128);
  control().selectFilterRadius(1);
  control().selectColorTolerance(40);
  const SearchParameters p = saved();
  EXPECT_EQ(
      std::vector<std::uint32_t>({p.viewfinderStep, p.framesPerSecond, p.filterRadius, p.colorTolerance}),
      std::vector<std::uint32_t>({50, 128, 1, 40}));
  EXPECT_EQ(state().viewfinderStep, 50u);
  EXPECT_EQ(window.timerPeriod, kAdjustTimerPeriod);

  control().startNewSearch();
  EXPECT_EQ(window.mode, WindowMode::Search);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_EQ(window.timerPeriod, 7u);
  EXPECT_EQ(ws->images.discMaskCount, 5u);  // radius 1: the new filter was built
}

TEST_F(Commands, CloseStopsTheTimerReleasesTheCameraAndEndsTheWindow) {
  control().closeApplication();
  EXPECT_FALSE(window.timerRunning);
  EXPECT_EQ(camera.stops, 1);
  EXPECT_TRUE(window.ended);
}

}  // namespace
}  // namespace orvalis::testing
