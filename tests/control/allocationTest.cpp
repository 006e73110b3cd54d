// The search path allocates no memory after start-up: a long camera-mode run
// over a small archive, with every allocation of the program counted.

// The replacement operators below pair operator new with free through malloc,
// which g++ cannot see across the inlined standard containers.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
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
std::atomic<long> mallocCalls{0};
}  // namespace

#if ORVALIS_COUNT_ALLOCATIONS
// Every C++ allocation of the test program goes through these.
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

// And every C allocation, libjpeg-turbo's included, through these.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}
}
#endif

namespace orvalis::testing {
namespace {

using Allocation = ControlTest;

TEST_F(Allocation, TwoThousandCameraTicksAllocateNothingAndKeepTheHeapFlat) {
  if (!ORVALIS_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocation counting is off under sanitizers";
  constexpr std::uint32_t w = 72, h = 54;
  writeBackdrop();
  writeArchive({texturedPicture(w, h, 7), texturedPicture(w, h, 8), texturedPicture(w, h, 9)});
  camera = FakeCamera({texturedPicture(w, h, 20), texturedPicture(w, h, 21)});
  control().startUp();
  ASSERT_EQ(state().cameraMode, 1);
  for (int i = 0; i < 10; ++i) control().onTimerTick();  // first decodes size the loader's buffer

  const std::size_t heapBefore = mallinfo2().uordblks;
  counting = true;
  for (int i = 0; i < 2000; ++i) control().onTimerTick();
  counting = false;
  const std::size_t heapAfter = mallinfo2().uordblks;

  EXPECT_EQ(state().searchStopped, 0);  // the walk went round and round
  EXPECT_GT(camera.grabs, 400);
  EXPECT_EQ(newCalls.load(), 0) << "C++ allocations on the search path";
  EXPECT_EQ(heapAfter, heapBefore) << "heap in use changed over the run";
  // libjpeg-turbo takes its working memory per decoded picture and returns it
  // at the end of that picture: reported, not hidden.
  std::cout << "[ allocations ] 2000 ticks: " << newCalls.load() << " C++ allocations, " << mallocCalls.load()
            << " C allocations (libjpeg-turbo's per-picture working memory), heap in use " << heapBefore
            << " -> " << heapAfter << " bytes\n";
  RecordProperty("mallocCalls", static_cast<int>(mallocCalls.load()));
}

}  // namespace
}  // namespace orvalis::testing
