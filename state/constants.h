#pragma once

#include <cstddef>
#include <cstdint>

namespace orvalis {

// Angles. The ten-decimal pi is deliberate: results are reproduced bit for bit
// from it, so it must never be replaced by the full-precision value.
inline constexpr double kPi = 3.1415926535;
inline constexpr double kFullTurn = 6.283185307;
inline constexpr double kQuarterTurn = 1.57079632675;

// Matching.
inline constexpr double kMeanToleranceFactor = 0.1;
inline constexpr std::uint8_t kRingsToAgree = 4;
inline constexpr int kRingCount = 9;
inline constexpr int kMaxRingSamples = 5000;

// Viewfinder limits of the resize commands, in pixels.
inline constexpr double kMinViewfinderRadius = 40;
inline constexpr double kMaxViewfinderRadius = 250;

// Largest filter radius the option table offers; larger stored values are
// replaced when the parameters file is read.
inline constexpr std::uint32_t kMaxFilterRadius = 20;

// The template for a copy of another size is filtered at filterRadius / scale,
// up to twice the largest filter radius, over the viewfinder disc and what the
// filter reaches around it: a square of this many pixels at most.
inline constexpr std::uint32_t kMaxTemplateFilterRadius = 2 * kMaxFilterRadius;
inline constexpr std::size_t kTemplateCropSide =
    2 * (static_cast<std::size_t>(kMaxViewfinderRadius) + kMaxTemplateFilterRadius + 3) + 1;
inline constexpr std::size_t kTemplateCropCapacity = kTemplateCropSide * kTemplateCropSide;

// Buffer capacity. A picture is accepted when width x height fits
// kMaxImagePixels, so a 1200 x 1920 portrait fits as well as 1920 x 1200.
inline constexpr int kMaxImageWidth = 1920;
inline constexpr int kMaxImageHeight = 1200;
inline constexpr std::size_t kMaxImagePixels =
    static_cast<std::size_t>(kMaxImageWidth) * kMaxImageHeight;  // 2,304,000
inline constexpr std::size_t kPlaneCapacity = kMaxImagePixels;
inline constexpr std::size_t kImageCapacity = 3 * kMaxImagePixels;  // 6,912,000
inline constexpr std::size_t kDiscMaskCapacity = 2'304'000;

// True when a picture of this size fits every picture and plane buffer.
constexpr bool fitsImageCapacity(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxImagePixels;
}

}  // namespace orvalis
