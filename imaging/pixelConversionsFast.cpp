#include "imaging/pixelConversionsFast.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "imaging/pixelConversions.h"
#include "platform/targetClones.h"
#include "platform/workerPool.h"

namespace orvalis {

namespace {

// Below this many pixels a picture is converted on the calling thread alone.
constexpr std::size_t kSharedFrom = 1 << 16;

// Calls run(first, count) for consecutive runs of pixels covering 0 .. n - 1,
// one per lane.
template <typename Run>
void sharePixels(WorkerPool& pool, std::uint32_t width, std::uint32_t height, const Run& run) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  if (n < kSharedFrom || pool.lanes() == 1) {
    if (n > 0) run(std::size_t{0}, n);
    return;
  }
  const std::size_t lanes = pool.lanes();
  // Runs of whole 64-pixel blocks, so that lanes don't write the same cache line.
  const std::size_t share = ((n + lanes - 1) / lanes + 63) / 64 * 64;
  auto job = [&](unsigned lane) {
    const std::size_t first = std::min(n, share * lane);
    const std::size_t count = std::min(n, first + share) - first;
    if (count > 0) run(first, count);
  };
  pool.run(job);
}

using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

// splitPlanes of n pixels, 16 at a time: 48 bytes in, 16 of each colour out.
// Each colour is gathered from the first two 16-byte blocks, then completed
// from the third.
ORVALIS_TARGET_CLONES void splitRun(const std::uint8_t* picture, std::size_t n, std::uint8_t* blue,
                                    std::uint8_t* green, std::uint8_t* red) {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    Bytes16 v0, v1, v2;
    std::memcpy(&v0, picture + 3 * i, 16);
    std::memcpy(&v1, picture + 3 * i + 16, 16);
    std::memcpy(&v2, picture + 3 * i + 32, 16);
    const Bytes16 b01 =
        __builtin_shufflevector(v0, v1, 0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 0, 0, 0, 0, 0);
    const Bytes16 g01 =
        __builtin_shufflevector(v0, v1, 1, 4, 7, 10, 13, 16, 19, 22, 25, 28, 31, 0, 0, 0, 0, 0);
    const Bytes16 r01 =
        __builtin_shufflevector(v0, v1, 2, 5, 8, 11, 14, 17, 20, 23, 26, 29, 0, 0, 0, 0, 0, 0);
    const Bytes16 b = __builtin_shufflevector(b01, v2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 17, 20, 23, 26, 29);
    const Bytes16 g = __builtin_shufflevector(g01, v2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 18, 21, 24, 27, 30);
    const Bytes16 r = __builtin_shufflevector(r01, v2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 19, 22, 25, 28, 31);
    std::memcpy(blue + i, &b, 16);
    std::memcpy(green + i, &g, 16);
    std::memcpy(red + i, &r, 16);
  }
  if (i < n) splitPlanes(picture + 3 * i, static_cast<std::uint32_t>(n - i), 1, blue + i, green + i, red + i);
}

}  // namespace

void splitPlanesFast(WorkerPool& pool, const std::uint8_t* picture, std::uint32_t width, std::uint32_t height,
                     std::uint8_t* blue, std::uint8_t* green, std::uint8_t* red) {
  sharePixels(pool, width, height, [&](std::size_t first, std::size_t count) {
    splitRun(picture + 3 * first, count, blue + first, green + first, red + first);
  });
}

void grayPlaneFast(WorkerPool& pool, const std::uint8_t* blue, const std::uint8_t* green,
                   const std::uint8_t* red, std::uint32_t width, std::uint32_t height, std::uint8_t* gray) {
  sharePixels(pool, width, height, [&](std::size_t first, std::size_t count) {
    grayPlane(blue + first, green + first, red + first, static_cast<std::uint32_t>(count), 1, gray + first);
  });
}

void grayToBgrFast(WorkerPool& pool, const std::uint8_t* blue, const std::uint8_t* green,
                   const std::uint8_t* red, std::uint32_t width, std::uint32_t height,
                   std::uint8_t* picture) {
  sharePixels(pool, width, height, [&](std::size_t first, std::size_t count) {
    grayToBgr(blue + first, green + first, red + first, static_cast<std::uint32_t>(count), 1,
              picture + 3 * first);
  });
}

}  // namespace orvalis
