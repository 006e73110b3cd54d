// Camera mode against a live camera allocates nothing on the tick path: the
// frames are copied out as they arrive, on the backend's threads, and a grab
// only swaps buffers. Needs a camera streaming 600 x 400 frames; the camera
// end-to-end check runs it against a virtual one (ORVALIS_LIVE_CAMERA set).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "capture/qt/qtCamera.h"
#include "control/searchControl.h"
#include "tests/support/allocationCount.h"
#include "tests/support/fakes.h"
#include "tests/support/workingFolder.h"

namespace orvalis::testing {
namespace {

TEST(LiveCamera, ThreeHundredCameraTicksAllocateNothing) {
  if (!kCountsAllocations) GTEST_SKIP() << "allocation counting is off under sanitizers";
  if (qEnvironmentVariableIsEmpty("ORVALIS_LIVE_CAMERA")) GTEST_SKIP() << "no live camera to run against";
  constexpr std::uint32_t w = 600, h = 400;
  TempDir dir;
  ScopedWorkingDirectory cwd(dir.path());
  WorkingFolder(dir.path())
      .markerScripts()
      .backdrop()
      .archive({texturedPicture(w, h, 30), texturedPicture(w, h, 31), texturedPicture(w, h, 32)}, 90);
  auto ws = std::make_unique<Workspace>();
  FakeWindow window;
  QtCameraSource camera(w, h);
  ProcessExitPath exitPath;
  SearchControl control(*ws, window, camera, exitPath);
  control.startUp();
  ASSERT_EQ(ws->state.cameraMode, 1);
  for (int i = 0; i < 10; ++i) control.onTimerTick();  // first decodes size the loader's buffer

  int restarts = 0;
  countAllocationsOnThisThread(true);
  for (int i = 0; i < 300; ++i) {
    control.onTimerTick();
    if (ws->state.archiveIndex == 0) ++restarts;  // a fresh frame was taken
  }
  countAllocationsOnThisThread(false);
  EXPECT_EQ(allocationsCounted(), 0) << "C++ allocations on the tick path";
  EXPECT_GT(restarts, 50);
  EXPECT_EQ(ws->state.searchStopped, 0);
  camera.stop();
}

}  // namespace
}  // namespace orvalis::testing
