#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

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
  ASSERT_EQ(state().cameraMode, 1);
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
  EXPECT_EQ(state().archiveExhausted, 0);
}

}  // namespace
}  // namespace orvalis::testing
