#include "control/viewfinderCheck.h"
#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

using StartUp = ControlTest;

TEST_F(StartUp, DefaultsPlaceTheViewfinderAndFillTheLists) {
  writeBackdrop();
  writeArchive({solidPicture(640, 480, 90, 90, 90)});
  writeStillQuery(solidPicture(640, 480, 90, 90, 90));
  control().startUp();
  EXPECT_EQ(state().viewfinderX, 320u);
  EXPECT_EQ(state().viewfinderY, 240u);
  EXPECT_EQ(state().viewfinderRadius, 80u);
  EXPECT_EQ(state().cameraMode, 0);
  EXPECT_EQ(state().landscape, 1);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_EQ(state().adjustMode + state().searchStopped + state().archiveExhausted + state().painted, 0);
  EXPECT_EQ(window.timerStarts, std::vector<unsigned>{1000});
  EXPECT_EQ(window.shownParameters, (SearchParameters{1, 8, 16, 25, 0, 0, 0}));
  // The reset is not saved: the file appears only with the first command.
  EXPECT_FALSE(std::filesystem::exists(dir / "res/Combo_Box_Parameters.bin"));
  EXPECT_EQ(camera.starts, 0);
  EXPECT_TRUE(onlyScriptsRan({}));
}

TEST(ViewfinderCheck, EveryBoundAdmitsEqualityAndNothingBeyond) {
  // 160 x 120 picture: rows need y - r >= 1 and y + r <= 118.
  EXPECT_TRUE(viewfinderFits(80, 21, 20, 160, 120));
  EXPECT_FALSE(viewfinderFits(80, 20, 20, 160, 120));
  EXPECT_TRUE(viewfinderFits(80, 98, 20, 160, 120));
  EXPECT_FALSE(viewfinderFits(80, 99, 20, 160, 120));
  EXPECT_TRUE(viewfinderFits(21, 60, 20, 160, 120));
  EXPECT_FALSE(viewfinderFits(20, 60, 20, 160, 120));
  EXPECT_TRUE(viewfinderFits(138, 60, 20, 160, 120));
  EXPECT_FALSE(viewfinderFits(139, 60, 20, 160, 120));
  EXPECT_FALSE(viewfinderFits(80, 60, 0, 160, 120));
  // Values that would wrap in unsigned arithmetic are compared as doubles.
  EXPECT_FALSE(viewfinderFits(5, 60, 20, 160, 120));
  EXPECT_FALSE(viewfinderFits(80, 60, 20, 0, 0));
}

TEST_F(StartUp, StoredViewfinderStaysOnTheBoundaryAndIsResetBeyondIt) {
  stillFolder({queryPicture()});
  writeParameters({1, 8, 16, 25, 21, 138, 20});  // top margin 1, right edge at w - 2
  control().startUp();
  EXPECT_EQ(state().viewfinderY, 21u);
  EXPECT_EQ(state().viewfinderX, 138u);
  EXPECT_EQ(state().viewfinderRadius, 20u);

  auto again = std::make_unique<Workspace>();
  writeParameters({1, 8, 16, 25, 20, 138, 20});  // top margin 0
  SearchControl(*again, window, camera, exitPath).startUp();
  EXPECT_EQ(again->state.viewfinderY, 60u);
  EXPECT_EQ(again->state.viewfinderX, 80u);
  EXPECT_EQ(again->state.viewfinderRadius, 20u);
}

TEST_F(StartUp, SquareArchiveIsLandscapeAndPortraitUsesTheWidth) {
  writeBackdrop();
  writeArchive({solidPicture(90, 90, 1, 1, 1)});
  writeStillQuery(solidPicture(90, 90, 1, 1, 1));
  control().startUp();
  EXPECT_EQ(state().landscape, 1);
  EXPECT_EQ(state().viewfinderRadius, 15u);

  auto portrait = std::make_unique<Workspace>();
  writeArchive({solidPicture(96, 150, 1, 1, 1)});
  writeStillQuery(solidPicture(96, 150, 1, 1, 1));
  SearchControl(*portrait, window, camera, exitPath).startUp();
  EXPECT_EQ(portrait->state.landscape, 0);
  EXPECT_EQ(portrait->state.viewfinderRadius, 16u);  // width / 6
  EXPECT_EQ(portrait->state.viewfinderX, 48u);
  EXPECT_EQ(portrait->state.viewfinderY, 75u);
}

TEST_F(StartUp, TimerPeriodIsThousandOverTheRate) {
  EXPECT_EQ(searchTimerPeriod(1), 1000u);
  EXPECT_EQ(searchTimerPeriod(16), 62u);
  EXPECT_EQ(searchTimerPeriod(64), 15u);
  EXPECT_EQ(searchTimerPeriod(128), 7u);
  EXPECT_EQ(searchTimerPeriod(256), 3u);
  EXPECT_EQ(searchTimerPeriod(5000), 1u);  // never a zero period
  stillFolder({queryPicture()});
  writeParameters({128, 8, 16, 25, 0, 0, 0});
  control().startUp();
  EXPECT_EQ(window.timerPeriod, 7u);
}

TEST_F(StartUp, ValuesOutsideTheTablesAreShownAndUsedAsLoaded) {
  stillFolder({queryPicture()});
  writeParameters({3, 0, 15, 7, 0, 0, 0});
  control().startUp();
  EXPECT_EQ(window.shownParameters.framesPerSecond, 3u);
  EXPECT_EQ(window.shownParameters.filterRadius, 0u);
  EXPECT_EQ(window.shownParameters.colorTolerance, 15u);
  EXPECT_EQ(window.shownParameters.viewfinderStep, 7u);
  EXPECT_EQ(state().viewfinderStep, 7u);  // stays in use as loaded
  EXPECT_EQ(window.timerPeriod, 333u);
}

TEST_F(StartUp, TemplateIsBuiltFromTheStillQuery) {
  stillFolder({queryPicture()});
  control().startUp();
  // Centre value is the filtered gray byte at the viewfinder centre.
  const std::size_t centre = static_cast<std::size_t>(state().viewfinderY) * kWidth + state().viewfinderX;
  EXPECT_EQ(state().templateCentreValue, ws->images.queryGray[centre]);
  EXPECT_EQ(state().ringSampleCount[8], 400u);  // trunc(20 x 20)
  EXPECT_GT(state().templateRingMean[8], 0.0);
}

TEST_F(StartUp, UndecodableStillQueryMeansCameraMode) {
  writeBackdrop();
  writeArchive({queryPicture()});
  writeFile(dir / "Image_Archive/Current_Image.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
  control().startUp();
  EXPECT_EQ(state().cameraMode, 1);
  EXPECT_EQ(camera.starts, 1);
  EXPECT_EQ(camera.grabs, 1);
  EXPECT_EQ(state().queryWidth, kWidth);
  EXPECT_EQ(state().queryHeight, kHeight);
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode"}));
}

}  // namespace
}  // namespace orvalis::testing

namespace orvalis::testing {
namespace {

// A camera whose first-frame wait is cut short by a close, as a close that
// arrives while the window processes events during the wait does.
class ClosedDuringWait : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  std::function<void()> duringWait;
  int interrupts = 0;
  bool currentFrame(RawFrame& frame) override {
    if (!duringWait) return FakeCamera::currentFrame(frame);
    const std::function<void()> close = std::move(duringWait);
    duringWait = nullptr;
    close();
    return false;  // the wait was interrupted
  }
  void interruptWait() override { ++interrupts; }
};

TEST_F(StartUp, ACloseDuringTheFirstFrameWaitRunsOnceStartUpIsThrough) {
  writeBackdrop();
  writeArchive({queryPicture()});  // no still query: camera mode
  const ChildResult result = inChild([&] {
    ClosedDuringWait waiting{{queryPicture()}};
    SearchControl held(*ws, window, waiting, exitPath);
    waiting.duringWait = [&] { held.closeApplication(); };
    held.startUp();
    // Not Device_Lost: the close ran after start-up, releasing the camera
    // once and ending the window, and no timer was left running.
    std::exit(window.ended && waiting.stops == 1 && waiting.interrupts == 1 && !window.timerRunning ? 0 : 3);
  });
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode"}));
}

}  // namespace
}  // namespace orvalis::testing
