#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "state/imageStore.h"

namespace orvalis {

// Largest JPEG file the loader reads; anything bigger is refused unread.
inline constexpr std::size_t kMaxJpegFileBytes = 64u << 20;

// Why a picture was refused, for the message that names the real cause.
enum class JpegRefusal {
  None,
  // The file itself: missing, unreadable, a folder/FIFO/device, too big, empty.
  Missing,
  PermissionDenied,
  NotRegularFile,
  FileTooLarge,
  Empty,
  ReadError,
  // The content: what the decoder gives up on (not a JPEG, a header it can't
  // use), a size above the store, CMYK or YCCK, or damage that would leave
  // pixels the file does not hold.
  NotDecodable,
  TooManyPixels,
  UnsupportedColour,
  Damaged,
};

struct JpegLoadFailure {
  JpegRefusal refusal = JpegRefusal::None;
  std::string detail;  // the decoder's own message, or the size, where there is one
};

// "permission denied", "damaged (Premature end of JPEG file)", ...
std::string describeJpegFailure(const JpegLoadFailure& failure);

// Decodes a JPEG file into a packed BGR picture (rows top-down, stride
// 3 x width) with libjpeg-turbo's accurate defaults. No orientation tag is
// applied; a gray JPEG gives three equal bytes per pixel.
//
// width and height are written in every case before the result is decided:
// on success the picture's, on any failure 0. Returns true when the picture
// was decoded, false when it was refused, with the
// reason in failure when one is given:
// - missing, unreadable, empty, not a regular file (opened without waiting,
//   so a FIFO is refused at once), or above kMaxJpegFileBytes;
// - not a JPEG, a header without a size, an unsupported colour model (CMYK,
//   YCCK), or more pixels than the store holds (kMaxImagePixels; a 1920 x 1200
//   and a 1200 x 1920 picture both fit): in these cases the destination is
//   untouched;
// - damage found while decoding. The decoder reports some damage only as a
//   warning and fills what it could not decode with gray, so warnings are
//   judged by kind: those that leave every pixel decoded from the file are
//   accepted (extraneous bytes before a marker, an unknown JFIF revision, a
//   bad ICC marker, an unknown Adobe colour transform code); every other one
//   (premature end of the file or of a data segment, bad Huffman or
//   arithmetic codes, a lost restart marker, an inconsistent progression, ...)
//   refuses the picture. The destination may then hold a partly decoded
//   picture, which no caller uses since the sizes read 0.
[[nodiscard]] bool loadJpeg(const char* path, BgrImage& destination, std::uint32_t& width,
                            std::uint32_t& height, JpegLoadFailure* failure = nullptr);

// The same checks and decoding for a JPEG already in memory.
[[nodiscard]] bool decodeJpeg(const std::uint8_t* data, std::size_t size, BgrImage& destination,
                              std::uint32_t& width, std::uint32_t& height,
                              JpegLoadFailure* failure = nullptr);

}  // namespace orvalis
