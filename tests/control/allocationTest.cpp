// The search path allocates no memory after start-up: a long camera-mode run
// over a small archive, with every C++ allocation of the program counted and
// the heap in use compared before and after.

#include <malloc.h>

#include "tests/control/controlFixture.h"
#include "tests/support/allocationCount.h"

namespace orvalis::testing {
namespace {

using Allocation = ControlTest;

TEST_F(Allocation, TwoThousandCameraTicksAllocateNothingAndKeepTheHeapFlat) {
  if (!kCountsAllocations) GTEST_SKIP() << "allocation counting is off under sanitizers";
  constexpr std::uint32_t w = 72, h = 54;
  folder({texturedPicture(w, h, 7), texturedPicture(w, h, 8), texturedPicture(w, h, 9)}, std::nullopt);
  camera = NotingCamera({texturedPicture(w, h, 20), texturedPicture(w, h, 21)});
  control().startUp();
  ASSERT_EQ(state().cameraMode, 1);
  for (int i = 0; i < 10; ++i) control().onTimerTick();  // first decodes size the loader's buffer

  // libjpeg-turbo takes its working memory per decoded picture and returns
  // it at the end of that picture: the heap in use comes back level.
  const std::size_t heapBefore = mallinfo2().uordblks;
  countAllocations(true);
  for (int i = 0; i < 2000; ++i) control().onTimerTick();
  countAllocations(false);
  const std::size_t heapAfter = mallinfo2().uordblks;
  EXPECT_EQ(allocationsCounted(), 0) << "C++ allocations on the search path";
  EXPECT_EQ(heapAfter, heapBefore) << "heap in use changed over the run";
  EXPECT_EQ(state().searchStopped, 0);  // the walk went round and round
  EXPECT_GT(camera.grabs, 400);
}

}  // namespace
}  // namespace orvalis::testing
