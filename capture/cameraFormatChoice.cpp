#include "capture/cameraFormatChoice.h"

#include "state/constants.h"

namespace orvalis {

namespace {

std::uint64_t area(const CameraFormatOffer& offer) {
  return static_cast<std::uint64_t>(offer.width) * offer.height;
}

bool hasSize(const CameraFormatOffer& offer, std::uint32_t width, std::uint32_t height) {
  return offer.width == width && offer.height == height;
}

// True when a is to be taken over b, both fitting.
bool better(const CameraFormatOffer& a, const CameraFormatOffer& b, std::uint32_t preferredWidth,
            std::uint32_t preferredHeight) {
  const bool aPreferred = hasSize(a, preferredWidth, preferredHeight);
  const bool bPreferred = hasSize(b, preferredWidth, preferredHeight);
  if (aPreferred != bPreferred) return aPreferred;
  if (area(a) != area(b)) return area(a) > area(b);
  if (a.compressed != b.compressed) return !a.compressed;
  return a.maxFrameRate > b.maxFrameRate;
}

}  // namespace

int chooseCameraFormat(std::span<const CameraFormatOffer> offers, std::uint32_t preferredWidth,
                       std::uint32_t preferredHeight) {
  int chosen = -1;
  for (std::size_t i = 0; i < offers.size(); ++i) {
    if (!fitsImageCapacity(offers[i].width, offers[i].height)) continue;
    if (chosen < 0 ||
        better(offers[i], offers[static_cast<std::size_t>(chosen)], preferredWidth, preferredHeight)) {
      chosen = static_cast<int>(i);
    }
  }
  return chosen;
}

}  // namespace orvalis
