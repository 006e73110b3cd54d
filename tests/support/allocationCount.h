#pragma once

// Counts C++ allocations (calls of operator new) while asked, for tests that
// pin a path as allocation-free. A program that uses this gets operator new
// replaced; under the sanitizers, which bring their own allocator, nothing is
// replaced and kCountsAllocations is false.

namespace orvalis::testing {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kCountsAllocations = false;
#else
inline constexpr bool kCountsAllocations = true;
#endif

// Counting on every thread.
void countAllocations(bool on);
long allocationsCounted();

}  // namespace orvalis::testing
