#include "imaging/pixelConversionsFast.h"

#include <algorithm>
#include <cstddef>

#include "imaging/pixelConversions.h"
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

}  // namespace

void splitPlanesFast(WorkerPool& pool, const std::uint8_t* picture, std::uint32_t width, std::uint32_t height,
                     std::uint8_t* blue, std::uint8_t* green, std::uint8_t* red) {
  sharePixels(pool, width, height, [&](std::size_t first, std::size_t count) {
    splitPlanes(picture + 3 * first, static_cast<std::uint32_t>(count), 1, blue + first, green + first,
                red + first);
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
