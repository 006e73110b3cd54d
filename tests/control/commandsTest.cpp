#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

namespace fs = std::filesystem;

class Commands : public ControlTest {
 protected:
  void SetUp() override {
    writeBackdrop();
    writeStillQuery(solidPicture(640, 480, 50, 50, 50));
    writeArchive({solidPicture(640, 480, 50, 50, 50)});
    control().startUp();
    control().enterAdjustMode();
  }
  void place(std::uint32_t x, std::uint32_t y, std::uint32_t r, std::uint32_t step) {
    state().viewfinderX = x;
    state().viewfinderY = y;
    state().viewfinderRadius = r;
    state().viewfinderStep = step;
    fs::remove(dir / "res/Combo_Box_Parameters.bin");
  }
  SearchParameters saved() {
    SearchParameters p;
    EXPECT_TRUE(fs::exists(dir / "res/Combo_Box_Parameters.bin")) << "the command did not save";
    loadParameters(p, (dir / "res/Combo_Box_Parameters.bin").c_str());
    return p;
  }
};

TEST_F(Commands, MovesAdmitEqualityAtEveryMarginAndRefuseOnePixelMore) {
  place(320, 60, 50, 10);
  control().moveViewfinderUp();  // 60 - 50 - 10 = 0 < 1
  EXPECT_EQ(state().viewfinderY, 60u);
  EXPECT_EQ(saved().viewfinderY, 60u);
  place(320, 61, 50, 10);
  control().moveViewfinderUp();
  EXPECT_EQ(state().viewfinderY, 51u);
  EXPECT_EQ(saved().viewfinderY, 51u);

  place(320, 400, 70, 10);
  control().moveViewfinderDown();  // 480 > 478
  EXPECT_EQ(state().viewfinderY, 400u);
  place(320, 398, 70, 10);
  control().moveViewfinderDown();  // 478 = 478
  EXPECT_EQ(state().viewfinderY, 408u);

  place(61, 240, 50, 10);
  control().moveViewfinderLeft();
  EXPECT_EQ(state().viewfinderX, 51u);
  place(60, 240, 50, 10);
  control().moveViewfinderLeft();
  EXPECT_EQ(state().viewfinderX, 60u);

  place(578, 240, 50, 10);  // 578 + 50 + 10 = 638 = w - 2
  control().moveViewfinderRight();
  EXPECT_EQ(state().viewfinderX, 588u);
  place(579, 240, 50, 10);
  control().moveViewfinderRight();
  EXPECT_EQ(state().viewfinderX, 579u);
  EXPECT_EQ(saved().viewfinderX, 579u);
}

TEST_F(Commands, ResizesKeepTheirLimitsAndAreNeverCutDown) {
  place(320, 240, 240, 25);
  control().growViewfinder();  // 265 > 250: refused, not cut to 250
  EXPECT_EQ(state().viewfinderRadius, 240u);
  EXPECT_EQ(saved().viewfinderRadius, 240u);
  place(320, 240, 200, 50);
  control().growViewfinder();  // picture too small for 250 at this centre
  EXPECT_EQ(state().viewfinderRadius, 200u);
  place(320, 251, 200, 50);
  control().growViewfinder();  // rows 1 .. 501 don't fit 480
  EXPECT_EQ(state().viewfinderRadius, 200u);
  place(320, 229, 178, 50);  // 229 - 228 = 1 and 229 + 228 = 457: fits
  control().growViewfinder();
  EXPECT_EQ(state().viewfinderRadius, 228u);
  EXPECT_EQ(state().viewfinderX, 320u);  // the centre stays put
  EXPECT_EQ(state().viewfinderY, 229u);

  place(320, 240, 50, 10);
  control().shrinkViewfinder();
  EXPECT_EQ(state().viewfinderRadius, 40u);
  place(320, 240, 45, 10);
  control().shrinkViewfinder();
  EXPECT_EQ(state().viewfinderRadius, 45u);
  place(320, 240, 40, 1);
  control().shrinkViewfinder();
  EXPECT_EQ(state().viewfinderRadius, 40u);
  EXPECT_EQ(saved().viewfinderRadius, 40u);
}

TEST_F(Commands, AdmittedMoveInvertsTheGlyphAtItsNewPlaceRefusedDrawsNothing) {
  control().onTimerTick();  // the adjust tick draws the glyph at (320, 240)
  place(320, 240, 80, 10);
  std::vector<std::uint8_t> before(ws->images.queryImage.data(),
                                   ws->images.queryImage.data() + 640 * 480 * 3);
  control().moveViewfinderUp();
  // The new disc's top pixel (row 150) was plain gray and is now inverted.
  const std::size_t top = (150u * 640u + 320u) * 3u;
  EXPECT_EQ(ws->images.queryImage[top], 255 - before[top]);

  place(320, 60, 50, 10);  // refused
  std::vector<std::uint8_t> now(ws->images.queryImage.data(), ws->images.queryImage.data() + 640 * 480 * 3);
  control().moveViewfinderUp();
  EXPECT_TRUE(std::equal(now.begin(), now.end(), ws->images.queryImage.data()));
}

TEST_F(Commands, ParameterCommandsStoreTheirValueAndSaveIt) {
  control().selectViewfinderStep(50);
  EXPECT_EQ(state().viewfinderStep, 50u);
  EXPECT_EQ(saved().framesPerSecond, 1u);  // only the command's own value changes
  control().selectFramesPerSecond(256);
  control().selectFilterRadius(3);
  control().selectColorTolerance(40);
  const SearchParameters p = saved();
  EXPECT_EQ(p.viewfinderStep, 50u);
  EXPECT_EQ(p.framesPerSecond, 256u);
  EXPECT_EQ(p.filterRadius, 3u);
  EXPECT_EQ(p.colorTolerance, 40u);
}

TEST_F(Commands, ParametersTakeEffectOnlyWithANewSearch) {
  EXPECT_EQ(window.timerPeriod, kAdjustTimerPeriod);
  control().selectFramesPerSecond(128);
  EXPECT_EQ(window.timerPeriod, 100u);  // adjust mode keeps its period

  const double templateBefore = state().templateRingMean[0];
  const std::vector<std::uint8_t> grayBefore(ws->images.queryGray.data(),
                                             ws->images.queryGray.data() + 640 * 480);
  control().selectFilterRadius(1);
  EXPECT_EQ(state().templateRingMean[0], templateBefore);
  EXPECT_TRUE(std::equal(grayBefore.begin(), grayBefore.end(), ws->images.queryGray.data()));

  control().startNewSearch();
  EXPECT_EQ(window.timerPeriod, 7u);
  EXPECT_EQ(ws->images.discMaskCount, 5u);  // radius 1: the new filter was built
}

TEST_F(Commands, ModeCommandsSwitchTheWindowsMode) {
  // SetUp entered adjust mode.
  EXPECT_EQ(window.mode, WindowMode::Adjust);
  EXPECT_EQ(window.timerStarts.back(), 100u);
  EXPECT_EQ(state().adjustMode, 1);

  control().startNewSearch();
  EXPECT_EQ(window.mode, WindowMode::Search);
  EXPECT_EQ(state().adjustMode, 0);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_EQ(window.timerStarts.back(), 1000u);
  // Neither mode command writes the parameters file.
  EXPECT_FALSE(fs::exists(dir / "res/Combo_Box_Parameters.bin"));

  FakeWindow fresh;
  fresh.mode = WindowMode::Adjust;
  SearchControl(*ws, fresh, camera, exitPath).prepareControls();
  EXPECT_EQ(fresh.mode, WindowMode::Search);
}

TEST_F(Commands, CloseStopsTheTimerReleasesTheCameraAndEndsTheWindow) {
  control().closeApplication();
  EXPECT_FALSE(window.timerRunning);
  EXPECT_EQ(camera.stops, 1);
  EXPECT_TRUE(window.ended);
  EXPECT_FALSE(fs::exists(dir / "res/Combo_Box_Parameters.bin"));
}

}  // namespace
}  // namespace orvalis::testing
