#pragma once

#include <cstdint>

#include "platform/workerPool.h"

namespace orvalis {

// splitPlanes, grayPlane and grayToBgr shared out over the worker pool: each
// lane converts its own run of pixels (a run of pixels is a picture one row
// high) with the plain function, or, for the split, with vector shuffles that
// move the same bytes.
void splitPlanesFast(WorkerPool& pool, const std::uint8_t* picture, std::uint32_t width, std::uint32_t height,
                     std::uint8_t* blue, std::uint8_t* green, std::uint8_t* red);

void grayPlaneFast(WorkerPool& pool, const std::uint8_t* blue, const std::uint8_t* green,
                   const std::uint8_t* red, std::uint32_t width, std::uint32_t height, std::uint8_t* gray);

void grayToBgrFast(WorkerPool& pool, const std::uint8_t* blue, const std::uint8_t* green,
                   const std::uint8_t* red, std::uint32_t width, std::uint32_t height, std::uint8_t* picture);

}  // namespace orvalis
