// The search path allocates no memory after start-up: a long camera-mode run
// over a small archive, with every C++ allocation of the program counted and
// the heap in use compared before and after.

// The replacement operators below pair operator new with free through malloc,
// which g++ cannot see across the inlined standard containers.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/control/controlFixture.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVALIS_COUNT_ALLOCATIONS 0
#else
#define ORVALIS_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<bool> counting{false};
std::atomic<long> newCalls{0};
}  // namespace

#if ORVALIS_COUNT_ALLOCATIONS
void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) newCalls.fetch_add(1, std::memory_order_relaxed);
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

using Allocation = ControlTest;

TEST_F(Allocation, TwoThousandCameraTicksAllocateNothingAndKeepTheHeapFlat) {
  if (!ORVALIS_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocation counting is off under sanitizers";
  constexpr std::uint32_t w = 72, h = 54;
  folder({texturedPicture(w, h, 7), texturedPicture(w, h, 8), texturedPicture(w, h, 9)}, std::nullopt);
  camera = NotingCamera({texturedPicture(w, h, 20), texturedPicture(w, h, 21)});
  control().startUp();
  ASSERT_EQ(state().cameraMode, 1);
  for (int i = 0; i < 10; ++i) control().onTimerTick();  // first decodes size the loader's buffer

  // libjpeg-turbo takes its working memory per decoded picture and returns
  // it at the end of that picture: the heap in use comes back level.
  const std::size_t heapBefore = mallinfo2().uordblks;
  counting = true;
  for (int i = 0; i < 2000; ++i) control().onTimerTick();
  counting = false;
  const std::size_t heapAfter = mallinfo2().uordblks;
  EXPECT_EQ(newCalls.load(), 0) << "C++ allocations on the search path";
  EXPECT_EQ(heapAfter, heapBefore) << "heap in use changed over the run";
  EXPECT_EQ(state().searchStopped, 0);  // the walk went round and round
  EXPECT_GT(camera.grabs, 400);
}

}  // namespace
}  // namespace orvalis::testing
