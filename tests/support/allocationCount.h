#pragma once

// Counts calls of operator new while asked, for tests that pin a path as
// allocation-free; the sanitizers bring their own allocator, so not there.

namespace orvalis::testing {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kCountsAllocations = false;
#else
inline constexpr bool kCountsAllocations = true;
#endif

void countAllocations(bool on);
long allocationsCounted();

}  // namespace orvalis::testing
