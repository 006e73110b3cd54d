#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

using TimerCycle = ControlTest;

TEST_F(TimerCycle, StillWalkScansEachPictureRescansTheLastOnceThenStops) {
  stillFolder({distractor(1), distractor(2), distractor(3)});
  control().startUp();
  ASSERT_EQ(state().archiveIndex, -2);
  // Tick 1 tries -1 (4294967295), finds nothing and scans picture 0.
  const std::vector<int> expected = {0, 1, 2, 2};
  for (std::size_t tick = 0; tick < expected.size(); ++tick) {
    control().onTimerTick();
    EXPECT_EQ(state().archiveIndex, expected[tick]) << "tick " << tick;
    EXPECT_EQ(window.paints, static_cast<int>(tick + 1));
    EXPECT_EQ(state().matchFound, 0);
    EXPECT_EQ(state().painted, 1);
  }
  EXPECT_EQ(state().archiveExhausted, 1);
  control().onTimerTick();
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 2);
  EXPECT_EQ(window.paints, 4);  // exhausted ticks draw nothing
}

TEST_F(TimerCycle, MatchStopsTheSearchInItsTick) {
  stillFolder({distractor(1), queryPicture(), distractor(3)});
  control().startUp();
  control().onTimerTick();
  EXPECT_EQ(state().matchFound, 0);
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 1);
  EXPECT_EQ(state().matchFound, 1);
  EXPECT_EQ(state().searchStopped, 1);
  // The archive is the query itself: the match is the viewfinder, unturned.
  EXPECT_EQ(state().matchX, state().viewfinderX);
  EXPECT_EQ(state().matchY, state().viewfinderY);
  EXPECT_EQ(state().matchAngle, 0.0);
  EXPECT_GT(state().previewWidth, 0u);
  const int paints = window.paints;
  for (int i = 0; i < 3; ++i) control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 1);
  EXPECT_EQ(window.paints, paints);
}

TEST_F(TimerCycle, AdjustTicksOnlyRedrawTheQueryView) {
  stillFolder({distractor(1)});
  control().startUp();
  control().enterAdjustMode();
  // Before any search tick the archive channels are still zero: a black view.
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_EQ(window.paints, 1);
  EXPECT_EQ(ws->images.archiveImage[0], 0);
  // The query view is the gray picture with the viewfinder inverted into it:
  // the top pixel of the disc is the inverse of the gray value there.
  const std::size_t top = (static_cast<std::size_t>(state().viewfinderY - state().viewfinderRadius) * kWidth +
                           state().viewfinderX) *
                          3;
  const std::size_t left = (static_cast<std::size_t>(state().viewfinderY) * kWidth) * 3;
  const unsigned grayTop =
      (ws->images.queryB[top / 3] + ws->images.queryG[top / 3] + ws->images.queryR[top / 3]) / 3;
  const unsigned grayLeft =
      (ws->images.queryB[left / 3] + ws->images.queryG[left / 3] + ws->images.queryR[left / 3]) / 3;
  EXPECT_EQ(ws->images.queryImage[top], 255 - grayTop);
  EXPECT_EQ(ws->images.queryImage[left], grayLeft);  // outside every disc: plain gray
}

TEST_F(TimerCycle, CameraWalkStartsOverWithAFreshFrameAndTemplate) {
  writeBackdrop();
  writeArchive({distractor(1), distractor(2), distractor(3)});
  // Frames: start-up, then one per restart of the walk; each one different.
  camera = FakeCamera({texturedPicture(kWidth, kHeight, 40, kDetail),
                       texturedPicture(kWidth, kHeight, 41, kDetail),
                       texturedPicture(kWidth, kHeight, 42, kDetail)});
  control().startUp();
  ASSERT_EQ(state().cameraMode, 1);
  ASSERT_EQ(camera.grabs, 1);
  const double templateAtStart = state().templateRingMean[8];

  control().onTimerTick();  // -1: fresh frame, template, picture 0
  EXPECT_EQ(state().archiveIndex, 0);
  EXPECT_EQ(camera.grabs, 2);
  const double templateOfWalk = state().templateRingMean[8];
  EXPECT_NE(templateOfWalk, templateAtStart);
  control().onTimerTick();
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 2);
  EXPECT_EQ(camera.grabs, 2);
  EXPECT_EQ(state().templateRingMean[8], templateOfWalk);
  control().onTimerTick();  // 3 is missing: fresh frame, template, picture 0 again
  EXPECT_EQ(state().archiveIndex, 0);
  EXPECT_EQ(camera.grabs, 3);
  EXPECT_NE(state().templateRingMean[8], templateOfWalk);
  EXPECT_EQ(state().archiveExhausted, 0);
  EXPECT_EQ(window.paints, 4);
}

TEST_F(TimerCycle, CameraAdjustTicksGrabAFreshFrameEachTime) {
  writeBackdrop();
  writeArchive({distractor(1)});
  control().startUp();
  control().enterAdjustMode();
  control().onTimerTick();
  control().onTimerTick();
  EXPECT_EQ(camera.grabs, 3);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_EQ(window.paints, 2);
}

TEST_F(TimerCycle, NewSearchRestartsTheWalkFromMinusTwo) {
  stillFolder({distractor(1), distractor(2)});
  control().startUp();
  for (int i = 0; i < 4; ++i) control().onTimerTick();
  EXPECT_EQ(state().archiveExhausted, 1);
  control().enterAdjustMode();
  EXPECT_EQ(state().archiveExhausted, 0);
  control().startNewSearch();
  EXPECT_EQ(state().archiveIndex, -2);
  control().onTimerTick();
  EXPECT_EQ(state().archiveIndex, 0);
}

}  // namespace
}  // namespace orvalis::testing
