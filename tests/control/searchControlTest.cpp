// Start-up, the timer cycle and the commands, headless over the fakes.

#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

using StartUp = ControlTest;

TEST_F(StartUp, DefaultsAreShownAndUsedButNotSaved) {
  folder({distractor(1)});
  control().startUp();
  EXPECT_EQ(state().cameraMode, 0);
  EXPECT_EQ(camera.starts, 0);
  EXPECT_EQ(window.timerStarts, std::vector<unsigned>{1000});
  EXPECT_EQ(window.shownParameters, (SearchParameters{1, 8, 16, 25, 0, 0, 0}));
  // The file appears only with the first command.
  EXPECT_FALSE(std::filesystem::exists(dir / "res/Combo_Box_Parameters.bin"));
  EXPECT_EQ(scriptsRan(dir.path()), Scripts{});
}

TEST_F(StartUp, StoredViewfinderIsKeptOnTheBoundaryAndResetBeyondIt) {
  // A reset viewfinder sits at the centre with a sixth of the shorter side,
  // at most 250.
  struct Case {
    const char* what;
    std::uint32_t width, height, x, y, r;  // archive size, stored viewfinder
    std::uint32_t newX, newY, newR, landscape;
  };
  const Case cases[] = {
      {"top margin 1, right edge at w - 2", 160, 120, 138, 21, 20, 138, 21, 20, 1},
      {"left margin 1, bottom edge at h - 2", 160, 120, 21, 98, 20, 21, 98, 20, 1},
      {"top margin 0", 160, 120, 138, 20, 20, 80, 60, 20, 1},
      {"left margin 0", 160, 120, 20, 98, 20, 80, 60, 20, 1},
      {"right edge at w - 1", 160, 120, 139, 21, 20, 80, 60, 20, 1},
      {"bottom edge at h - 1", 160, 120, 21, 99, 20, 80, 60, 20, 1},
      {"radius 0", 160, 120, 80, 60, 0, 80, 60, 20, 1},
      {"none, landscape", 640, 480, 0, 0, 0, 320, 240, 80, 1},
      {"none, square", 90, 90, 0, 0, 0, 45, 45, 15, 1},
      {"none, portrait", 96, 150, 0, 0, 0, 48, 75, 16, 0},
      {"none, at most 250", 1517, 1517, 0, 0, 0, 758, 758, 250, 1},
  };
  for (const Case& c : cases) {
    const BgrPicture picture = solidPicture(c.width, c.height, 1, 1, 1);
    folder({picture}, picture);
    ASSERT_EQ(writeParametersFile({1, 8, 16, 25, c.y, c.x, c.r}, "res/Combo_Box_Parameters.bin"), 1);
    auto fresh = std::make_unique<Workspace>();
    SearchControl(*fresh, window, camera, exitPath).startUp();
    const SearchState& s = fresh->state;
    EXPECT_EQ(std::vector<std::uint32_t>({s.viewfinderX, s.viewfinderY, s.viewfinderRadius,
                                          static_cast<std::uint32_t>(s.landscape)}),
              std::vector<std::uint32_t>({c.newX, c.newY, c.newR, c.landscape}))
        << c.what;
  }
}

// A camera whose first-frame wait is cut short by a close, as a close that
// arrives while the window processes events during the wait does.
class ClosedDuringWait : public FakeCamera {
 public:
  std::function<void()> duringWait;
  int interrupts = 0;
  bool currentFrame(RawFrame&) override {
    duringWait();
    return false;  // the wait was interrupted
  }
  void interruptWait() override { ++interrupts; }
};

TEST_F(StartUp, ACloseDuringTheFirstFrameWaitRunsOnceStartUpIsThrough) {
  folder({queryPicture()}, std::nullopt);
  const ChildResult result = runInChild(dir.path(), [&] {
    ClosedDuringWait waiting;
    SearchControl held(*ws, window, waiting, exitPath);
    waiting.duringWait = [&] { held.closeApplication(); };
    held.startUp();
    // Not Device_Lost: the close ran after start-up, releasing the camera
    // once and ending the window, and no timer was left running.
    std::_Exit(window.ended && waiting.stops == 1 && waiting.interrupts == 1 && !window.timerRunning ? 0 : 3);
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(scriptsRan(dir.path()), Scripts{"Scanner_Mode"});
}

using TimerCycle = ControlTest;

TEST_F(TimerCycle, StillWalkScansEachPictureRescansTheLastOnceThenStops) {
  // Picture 3 is refused: the walk ends there, as at a missing number, with
  // one line naming it; the missing -1 it starts from says nothing.
  folder({distractor(1), distractor(2), distractor(3)});
  writeFile(dir / "Image_Archive/Image_0000000003.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0, 0x43, 1, 2, 3});
  control().startUp();
  ::testing::internal::CaptureStderr();
  for (const int expected : {0, 1, 2, 2, 2, 2}) {
    control().onTimerTick();
    EXPECT_EQ(state().archiveIndex, expected);
  }
  EXPECT_EQ(
      ::testing::internal::GetCapturedStderr(),
      "orvalis: archive picture 'Image_Archive/Image_0000000003.jpg' refused: damaged (Premature end of "
      "JPEG file)\n");
  EXPECT_EQ(state().archiveExhausted, 1);
  EXPECT_EQ(window.paints, 4);  // exhausted ticks draw nothing
  EXPECT_EQ(state().matchFound, 0);

  control().enterAdjustMode();
  EXPECT_EQ(state().archiveExhausted, 0);
  control().onTimerTick();  // adjust ticks redraw, and walk nowhere
  EXPECT_EQ(window.paints, 5);
  control().startNewSearch();
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 0);
}

TEST_F(TimerCycle, MatchStopsTheSearchInItsTick) {
  folder({distractor(1), queryPicture(), distractor(3)});
  control().startUp();
  control().onTimerTick();
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 1);
  EXPECT_EQ(state().matchFound, 1);
  // The archive is the query itself: the match is the viewfinder, unturned.
  EXPECT_EQ(state().matchX, state().viewfinderX);
  EXPECT_EQ(state().matchY, state().viewfinderY);
  EXPECT_EQ(state().matchAngle, 0.0);
  const int paints = window.paints;
  for (int i = 0; i < 3; ++i) control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 1);
  EXPECT_EQ(window.paints, paints);
}

TEST_F(TimerCycle, CameraWalkStartsOverWithAFreshFrameAndTemplate) {
  folder({distractor(1), distractor(2)}, std::nullopt);
  camera = NotingCamera({distractor(40), distractor(41), distractor(42), distractor(43)});
  control().startUp();
  control().enterAdjustMode();
  control().onTimerTick();  // adjust ticks grab a fresh frame, and walk nowhere
  EXPECT_EQ(camera.grabs, 2);
  EXPECT_EQ(state().archiveIndex, -2);
  control().startNewSearch();
  double templateOfWalk = 0;
  // Frames are grabbed at -1 and where the archive ends, never between.
  for (const auto& [index, grabs] : std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {0, 4}, {1, 4}}) {
    control().onTimerTick();
    EXPECT_EQ(state().archiveIndex, index);
    EXPECT_EQ(camera.grabs, grabs);
    EXPECT_EQ(state().templateRingMean[8] == templateOfWalk, index == 1) << "a fresh template only at 0";
    templateOfWalk = state().templateRingMean[8];
  }
}

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
      // A move checks only the side it moves towards: a viewfinder over the
      // top edge (as a camera frame of another size can leave it) still moves.
      {"left while over the top", &SearchControl::moveViewfinderLeft, 320, 45, 50, 10, 310, 45, 50},
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
    std::filesystem::remove("res/Combo_Box_Parameters.bin");
    const std::vector<std::uint8_t> before(ws->images.queryImage.data(),
                                           ws->images.queryImage.data() + 640 * 480 * 3);
    (control().*c.command)();
    const SearchParameters p = saved();
    const std::vector<std::uint32_t> expected = {c.newX, c.newY, c.newR};
    EXPECT_EQ(
        std::vector<std::uint32_t>({state().viewfinderX, state().viewfinderY, state().viewfinderRadius}),
        expected)
        << c.what;
    EXPECT_EQ(std::vector<std::uint32_t>({p.viewfinderX, p.viewfinderY, p.viewfinderRadius}), expected)
        << c.what;
    // An admitted step draws the glyph at its new place; a refused one draws nothing.
    const bool admitted = expected != std::vector<std::uint32_t>{c.x, c.y, c.r};
    EXPECT_EQ(!std::equal(before.begin(), before.end(), ws->images.queryImage.data()), admitted) << c.what;
  }
}

TEST_F(Commands, ParameterCommandsAreSavedAndTakeEffectWithANewSearch) {
  control().selectViewfinderStep(50);
  control().selectFramesPerSecond(128);
  control().selectFilterRadius(1);
  control().selectColorTolerance(40);
  const SearchParameters p = saved();
  EXPECT_EQ(
      std::vector<std::uint32_t>({p.viewfinderStep, p.framesPerSecond, p.filterRadius, p.colorTolerance}),
      std::vector<std::uint32_t>({50, 128, 1, 40}));
  EXPECT_EQ(state().viewfinderStep, 50u);
  EXPECT_EQ(window.mode, WindowMode::Adjust);
  EXPECT_EQ(window.timerPeriod, kAdjustTimerPeriod);

  control().startNewSearch();
  EXPECT_EQ(window.mode, WindowMode::Search);
  EXPECT_EQ(window.timerPeriod, 7u);
  EXPECT_EQ(ws->images.discMaskCount, 5u);  // radius 1: the new filter was built
  control().selectFramesPerSecond(5000);
  control().startNewSearch();
  EXPECT_EQ(window.timerPeriod, 1u);  // never a zero period
}

}  // namespace
}  // namespace orvalis::testing
