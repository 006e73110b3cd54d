// Camera mode against a live camera allocates nothing on the tick path: the
// frames are copied out as they arrive, on the backend's threads, and a grab
// only swaps buffers. Needs a camera streaming 600 x 400 frames; the camera
// end-to-end check runs it against a virtual one (ORVALIS_LIVE_CAMERA set).

// The replacement operators below pair operator new with free through malloc,
// which g++ cannot see across the inlined standard containers.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "capture/qt/qtCamera.h"
#include "control/searchControl.h"
#include "tests/support/childProcess.h"
#include "tests/support/fakes.h"
#include "tests/support/testSupport.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVALIS_COUNT_ALLOCATIONS 0
#else
#define ORVALIS_COUNT_ALLOCATIONS 1
#endif

namespace {
// Only the thread that runs the ticks counts: the media backend's threads
// allocate as they please.
thread_local bool onTickPath = false;
std::atomic<long> newCalls{0};
}  // namespace

#if ORVALIS_COUNT_ALLOCATIONS
void* operator new(std::size_t size) {
  if (onTickPath) newCalls.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#endif

namespace orvalis::testing {
namespace {

TEST(LiveCamera, ThreeHundredCameraTicksAllocateNothing) {
  if (!ORVALIS_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocation counting is off under sanitizers";
  if (qEnvironmentVariableIsEmpty("ORVALIS_LIVE_CAMERA")) GTEST_SKIP() << "no live camera to run against";
  constexpr std::uint32_t w = 600, h = 400;
  TempDir dir;
  ScopedWorkingDirectory cwd(dir.path());
  installMarkerScripts(dir.path());
  writeFile(dir / "res/Dark_Gray_Square.jpg", encodeJpeg(solidPicture(8, 8, 60, 60, 60)));
  for (std::uint32_t i = 0; i < 3; ++i) {
    writeFile(dir / ("Image_Archive/Image_000000000" + std::to_string(i) + ".jpg"),
              encodeJpeg(texturedPicture(w, h, 30 + i), 90));
  }
  auto ws = std::make_unique<Workspace>();
  FakeWindow window;
  QtCameraSource camera(w, h);
  ProcessExitPath exitPath;
  SearchControl control(*ws, window, camera, exitPath);
  control.startUp();
  ASSERT_EQ(ws->state.cameraMode, 1);
  for (int i = 0; i < 10; ++i) control.onTimerTick();  // first decodes size the loader's buffer

  int restarts = 0;
  onTickPath = true;
  for (int i = 0; i < 300; ++i) {
    control.onTimerTick();
    if (ws->state.archiveIndex == 0) ++restarts;  // a fresh frame was taken
  }
  onTickPath = false;
  EXPECT_EQ(newCalls.load(), 0) << "C++ allocations on the tick path";
  EXPECT_GT(restarts, 50);
  EXPECT_EQ(ws->state.searchStopped, 0);
  camera.stop();
}

}  // namespace
}  // namespace orvalis::testing
