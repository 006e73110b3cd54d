// The search path allocates no memory after start-up and leaks nothing: long
// runs over a small archive, with every C++ allocation of the program counted
// and the heap in use and the open descriptors compared before and after.

#include <malloc.h>

#include "tests/control/controlFixture.h"
#include "tests/support/allocationCount.h"

namespace orvalis::testing {
namespace {

using Allocation = ControlTest;

TEST_F(Allocation, LongRunsAllocateNothingAndKeepTheHeapAndDescriptorsFlat) {
  if (!kCountsAllocations) GTEST_SKIP() << "allocation counting is off under sanitizers";
  constexpr std::uint32_t w = 72, h = 54;
  const auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  // Camera mode, the walk going round; still-image mode in cycles of adjust,
  // a move, a parameter and a new search, each command saved.
  for (const bool still : {false, true}) {
    SCOPED_TRACE(still ? "still-image cycles" : "camera ticks");
    folder({texturedPicture(w, h, 7), texturedPicture(w, h, 8), texturedPicture(w, h, 9)},
           still ? std::optional(texturedPicture(w, h, 20)) : std::nullopt);
    camera = NotingCamera({texturedPicture(w, h, 20), texturedPicture(w, h, 21)});
    ws = std::make_unique<Workspace>();
    SearchControl control(*ws, window, camera, exitPath);
    control.startUp();
    ASSERT_EQ(ws->state.cameraMode, still ? 0 : 1);
    const auto step = [&](int i) {
      control.onTimerTick();
      if (!still || i % 10 != 9) return;
      control.enterAdjustMode();
      control.onTimerTick();
      (i / 10) % 2 == 0 ? control.moveViewfinderRight() : control.moveViewfinderLeft();
      control.selectColorTolerance((i / 10) % 2 == 0 ? 14 : 16);
      control.startNewSearch();
    };
    for (int i = 0; i < 20; ++i) step(i);  // first decodes size the loader's buffer

    // libjpeg-turbo takes its working memory per decoded picture and returns
    // it at the end of that picture: the heap in use comes back level.
    const long descriptorsBefore = descriptors(), allocationsBefore = allocationsCounted();
    const std::size_t heapBefore = mallinfo2().uordblks;
    countAllocations(!still);  // commands may allocate, and free what they took
    for (int i = 20; i < 2020; ++i) step(i);
    countAllocations(false);
    EXPECT_EQ(allocationsCounted(), allocationsBefore) << "C++ allocations on the search path";
    // The heap in use stays level over camera ticks, and in still-image mode
    // grows by less than a picture's buffer over 200 cycles.
    EXPECT_LE(mallinfo2().uordblks, heapBefore + (still ? 64 * 1024 : 0)) << "heap in use grew over the run";
    EXPECT_EQ(descriptors(), descriptorsBefore);
    EXPECT_EQ(ws->state.searchStopped, 0);  // no match: the walk went round and round
    EXPECT_GT(camera.grabs, still ? -1 : 400);
  }
}

}  // namespace
}  // namespace orvalis::testing
