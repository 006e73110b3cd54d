#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

using StartUp = ControlTest;

TEST_F(StartUp, DefaultsAreShownAndUsedButNotSaved) {
  folder({distractor(1)});
  control().startUp();
  EXPECT_EQ(state().cameraMode, 0);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_EQ(window.timerStarts, std::vector<unsigned>{1000});
  EXPECT_EQ(window.shownParameters, kDefaultParameters);
  // The file appears only with the first command.
  EXPECT_FALSE(std::filesystem::exists(dir / "res/Combo_Box_Parameters.bin"));
  EXPECT_EQ(camera.starts, 0);
  EXPECT_TRUE(onlyScriptsRan(dir.path(), {}));
}

TEST_F(StartUp, StoredViewfinderIsKeptOnTheBoundaryAndResetBeyondIt) {
  // A reset viewfinder sits at the centre with a sixth of the shorter side.
  struct Case {
    const char* what;
    std::uint32_t width, height, x, y, r;  // archive size, stored viewfinder
    std::uint32_t newX, newY, newR, landscape;
  };
  const Case cases[] = {
      {"top margin 1, right edge at w - 2", 160, 120, 138, 21, 20, 138, 21, 20, 1},
      {"top margin 0", 160, 120, 138, 20, 20, 80, 60, 20, 1},
      {"radius 0", 160, 120, 80, 60, 0, 80, 60, 20, 1},
      {"none, landscape", 640, 480, 0, 0, 0, 320, 240, 80, 1},
      {"none, square", 90, 90, 0, 0, 0, 45, 45, 15, 1},
      {"none, portrait", 96, 150, 0, 0, 0, 48, 75, 16, 0},
  };
  for (const Case& c : cases) {
    const BgrPicture picture = solidPicture(c.width, c.height, 1, 1, 1);
    folder({picture}, picture);
    writeParameters({1, 8, 16, 25, c.y, c.x, c.r});
    auto fresh = std::make_unique<Workspace>();
    SearchControl(*fresh, window, camera, exitPath).startUp();
    const SearchState& s = fresh->state;
    EXPECT_EQ(std::vector<std::uint32_t>({s.viewfinderX, s.viewfinderY, s.viewfinderRadius}),
              std::vector<std::uint32_t>({c.newX, c.newY, c.newR}))
        << c.what;
    EXPECT_EQ(s.landscape, static_cast<int>(c.landscape)) << c.what;
  }
}

TEST_F(StartUp, ValuesOutsideTheListsAreShownAndUsedAsLoaded) {
  folder({distractor(1)});
  writeParameters({3, 0, 15, 7, 0, 0, 0});
  control().startUp();
  EXPECT_EQ(window.shownParameters, (SearchParameters{3, 0, 15, 7, 0, 0, 0}));
  EXPECT_EQ(state().viewfinderStep, 7u);
  EXPECT_EQ(window.timerPeriod, 333u);
  EXPECT_EQ(searchTimerPeriod(5000), 1u);  // never a zero period
}

// A camera whose first-frame wait is cut short by a close, as a close that
// arrives while the window processes events during the wait does.
class ClosedDuringWait : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
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
  EXPECT_TRUE(onlyScriptsRan(dir.path(), {"Scanner_Mode"}));
}

}  // namespace
}  // namespace orvalis::testing
