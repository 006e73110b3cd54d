// The replacement operators below pair operator new with free through malloc,
// which g++ cannot see across the inlined standard containers.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include "tests/support/allocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> everywhere{false};
std::atomic<long> newCalls{0};
}  // namespace

namespace orvalis::testing {

void countAllocations(bool on) {
  everywhere = on;
}

long allocationsCounted() {
  return newCalls.load();
}

}  // namespace orvalis::testing

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
void* operator new(std::size_t size) {
  if (everywhere.load(std::memory_order_relaxed)) newCalls.fetch_add(1, std::memory_order_relaxed);
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
