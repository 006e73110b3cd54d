#pragma once

#include <cstddef>
#include <cstdint>

#include "state/imageStore.h"

namespace orvalis {

// Largest JPEG file the loader reads; anything bigger is refused unread.
inline constexpr std::size_t kMaxJpegFileBytes = 64u << 20;

// Decodes a JPEG file into a packed BGR picture (rows top-down, stride
// 3 x width) with libjpeg-turbo's accurate defaults. No orientation tag is
// applied; a gray JPEG gives three equal bytes per pixel.
//
// height, width and byteCount (width x height x 3) are written in every case
// before the result is decided: on success the picture's, on any failure 0.
// Returns 1 when the picture was decoded, 0 when it was refused:
// - missing, unreadable, empty, not a regular file, or above kMaxJpegFileBytes;
// - not a JPEG, a header without a size, an unsupported colour model (CMYK,
//   YCCK), or more pixels than the store holds (kMaxImagePixels; a 1920 x 1200
//   and a 1200 x 1920 picture both fit): in these cases the destination is
//   untouched;
// - damage found while decoding, including what the decoder reports only as a
//   warning (a truncated file would otherwise come back with its missing part
//   filled gray): the destination may then hold a partly decoded picture,
//   which no caller uses since the sizes read 0.
int loadJpeg(const char* path, BgrImage& destination, std::uint32_t& height, std::uint32_t& width,
             std::uint32_t& byteCount);

// The same checks and decoding for a JPEG already in memory.
int decodeJpeg(const std::uint8_t* data, std::size_t size, BgrImage& destination, std::uint32_t& height,
               std::uint32_t& width, std::uint32_t& byteCount);

}  // namespace orvalis
