#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace orvalis {

// A byte buffer of fixed capacity, zero-filled at construction and never
// reallocated, copied or moved: every pointer handed out stays valid for the
// buffer's whole life. The used part (width x height, x 3 for pictures) is
// tracked beside it by the owner. Bounds are checked by operator[] in builds
// with assertions (the sanitizer build that scripts/test runs), so the pixel
// loops stay plain in release builds.
template <std::size_t Capacity>
class FixedBuffer {
 public:
  static constexpr std::size_t kCapacity = Capacity;

  // calloc hands out lazily zeroed pages, so a store of ~85 MB costs little
  // until it is written.
  FixedBuffer() : bytes_(static_cast<std::uint8_t*>(std::calloc(Capacity, 1))) {
    if (bytes_ == nullptr) throw std::bad_alloc();
  }
  FixedBuffer(const FixedBuffer&) = delete;
  FixedBuffer& operator=(const FixedBuffer&) = delete;
  FixedBuffer(FixedBuffer&&) = delete;
  FixedBuffer& operator=(FixedBuffer&&) = delete;

  std::uint8_t* data() noexcept { return bytes_.get(); }
  const std::uint8_t* data() const noexcept { return bytes_.get(); }
  static constexpr std::size_t capacity() noexcept { return Capacity; }

  std::uint8_t& operator[](std::size_t i) noexcept {
    assert(i < Capacity);
    return bytes_.get()[i];
  }
  const std::uint8_t& operator[](std::size_t i) const noexcept {
    assert(i < Capacity);
    return bytes_.get()[i];
  }

 private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<std::uint8_t, FreeDeleter> bytes_;
};

}  // namespace orvalis
