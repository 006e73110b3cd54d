#pragma once

#include <cstdint>
#include <span>

namespace orvalis {

// One picture format a camera offers.
struct CameraFormatOffer {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  double maxFrameRate = 0;
  bool compressed = false;  // e.g. motion JPEG: needs decoding on every frame
};

// The format to ask the camera for: only formats whose frames fit the image
// store count. Among them the preferred size wins (the archive's, since the
// search needs frames of that size); without it the largest picture. Ties go
// to an uncompressed format, then to the higher frame rate, then to the one
// listed first. Returns the offer's index, or -1 when none fits (the device
// then keeps its own default).
int chooseCameraFormat(std::span<const CameraFormatOffer> offers, std::uint32_t preferredWidth,
                       std::uint32_t preferredHeight);

}  // namespace orvalis
