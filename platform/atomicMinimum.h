#pragma once

#include <atomic>
#include <cstdint>

namespace orvalis {

// Lowers value to candidate unless it already holds less, while other lanes
// may be lowering it too. A compare-and-swap, not a load and a store: between
// those, another lane could lower the value, and the store would put back a
// higher one.
inline void lowerTo(std::atomic<std::uint64_t>& value, std::uint64_t candidate) {
  std::uint64_t seen = value.load();
  while (candidate < seen && !value.compare_exchange_weak(seen, candidate)) {
  }
}

}  // namespace orvalis
