#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "imaging/bilinearSampling.h"
#include "matching/fastScanParts.h"
#include "matching/ringSignature.h"

namespace orvalis::fastscan {

namespace {

// Sample counts and position tables for a radius; sample counts as sampleRing
// forms them.
void buildOffsets(RadiusTables& t, double regionRadius, double scale) {
  for (int ring = 0; ring < kRingCount; ++ring) {
    const double radius = ringRadius(ring, regionRadius * scale);
    const std::uint32_t count = ringSampleCountOf(ringRadius(ring, regionRadius));
    t.count[ring] = count;
    if (count == 0) continue;
    if (t.angleCount[ring] != count) {
      const double step = kFullTurn / count;
      for (std::uint32_t i = 0; i < count; ++i) {
        const double angle = i * step;
        t.cosine[ring][i] = std::cos(angle);
        t.sine[ring][i] = std::sin(angle);
      }
      t.angleCount[ring] = count;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      t.rowOffset[ring][i] = radius * t.cosine[ring][i];
      t.columnOffset[ring][i] = radius * t.sine[ring][i];
    }
  }
}

// The estimate of a ring mean. Sample i of a ring around a whole centre (Y, X)
// lies at Y - rowOffset, X - columnOffset; in exact arithmetic its fraction
// is that of -rowOffset, whatever Y, so the bilinear weights of all samples,
// summed per pixel and divided by the count, give a kernel K with
// mean = sum K p. The plain sampler differs from this exact value only by
// rounding, u = 2^-53:
// - each position by at most u x its size, below kMaxImagePixels; bilinear
//   interpolation of bytes changes by at most 255 per pixel moved along each
//   coordinate, so a sample by 2 x 255 x kMaxImagePixels x u, plus a few
//   units in its last place;
// - the running sum of n <= 5000 samples by (n - 1) u x 255 n, the mean by
//   5000 x 255 u.
// kExactSlack is four times the whole. The estimate's own rounding is at most
// (taps + 2) u x 255, u the unit roundoff of its type (float or double).
constexpr double kUnitRoundoff = 1.0 / 9007199254740992.0;  // 2^-53
constexpr double kExactSlack =
    4.0 * (2.0 * 255.0 * static_cast<double>(kMaxImagePixels) + 2.0 * 255.0 * kMaxRingSamples) *
    kUnitRoundoff;

}  // namespace

void buildRingTaps(RadiusTables& t, int ring) {
  std::lock_guard<std::mutex> lock(t.building);
  if (t.ringReady[ring].load(std::memory_order_relaxed)) return;
  if (!t.gridClear) {
    std::fill(t.grid, t.grid + static_cast<std::size_t>(kMaxGridSide) * kMaxGridSide, 0.0);
    t.gridClear = true;
  }
  int tap = t.nextTap;
  t.tapBegin[ring] = tap;
  const std::uint32_t count = t.count[ring];
  if (count > 0) {
    const int half = static_cast<int>(std::ceil(ringRadius(ring, t.radius * t.scale))) + 2;
    const int side = 2 * half + 1;
    int touched = 0;
    const auto add = [&](std::size_t at, double weight) {
      if (t.grid[at] == 0.0) t.touched[touched++] = static_cast<std::int32_t>(at);
      t.grid[at] += weight;
    };
    for (std::uint32_t i = 0; i < count; ++i) {
      const double row = -t.rowOffset[ring][i];
      const double column = -t.columnOffset[ring][i];
      const double r0 = std::floor(row), c0 = std::floor(column);
      const auto [fy, gy, fx, gx] = bilinearWeights(row, column, r0, c0);
      const std::size_t at =
          static_cast<std::size_t>((static_cast<int>(r0) + half) * side + static_cast<int>(c0) + half);
      add(at, gx * gy);
      add(at + 1, fx * gy);
      add(at + side, gx * fy);
      add(at + side + 1, fx * fy);
    }
    // The cells in raster order, each once (a cell whose weights summed to 0
    // may be listed twice), cleared behind.
    std::sort(t.touched, t.touched + touched);
    for (int k = 0; k < touched; ++k) {
      const std::int32_t at = t.touched[k];
      const double weight = t.grid[at];
      t.grid[at] = 0.0;
      if (weight == 0.0) continue;
      const int a = at / side, b = at % side;
      t.tapOffset[tap] = static_cast<std::int64_t>(a - half) * t.width + (b - half);
      t.tapWeight[tap] = weight / count;
      t.tapWeightFloat[tap] = static_cast<float>(weight / count);
      ++tap;
    }
  }
  const double taps = tap - t.tapBegin[ring];
  t.marginDouble[ring] = 255.0 * (taps + 2) * kUnitRoundoff + kExactSlack;
  t.marginFloat[ring] = 255.0 * (taps + 2) * std::ldexp(1.0, -24) + kExactSlack;
  t.tapEnd[ring] = tap;
  t.nextTap = tap;
  t.ringReady[ring].store(true, std::memory_order_release);
}

void prepareTables(RadiusTables& t, double regionRadius, double scale, std::uint32_t width) {
  if (t.built && t.radius == regionRadius && t.scale == scale && t.width == width) return;
  t.scale = scale;
  t.radius = regionRadius;
  t.width = width;
  buildOffsets(t, regionRadius, scale);
  t.nextTap = 0;
  for (auto& ready : t.ringReady) ready.store(false, std::memory_order_relaxed);
  buildRingTaps(t, 0);
  t.built = true;
}

void prepareView(TemplateView& view, const SearchState& state, const RadiusTables& t) {
  view.centreValue = state.templateCentreValue;
  view.ringMean = state.templateRingMean;
  view.ringHist = state.templateRingHist;
  view.colorTolerance = state.colorTolerance;
  view.meanTolerance = state.colorTolerance * kMeanToleranceFactor;
  // At a whole position the bilinear sample is the byte itself: the near
  // weights are 1 x 1 and the others 0.
  for (int value = 0; value < 256; ++value) {
    view.centrePasses[value] =
        !(std::fabs(static_cast<double>(value) - state.templateCentreValue) > state.colorTolerance);
  }
  for (int ring = 0; ring < kRingCount; ++ring) {
    const std::uint32_t count = t.count[ring];
    if (count == 0) continue;
    const double* profile = state.templateRingProfile[ring];
    if (view.laidOutCount[ring] == count &&
        std::memcmp(view.laidOut[ring], profile, count * sizeof(double)) == 0)
      continue;
    layOutTemplate(profile, count, view.profileTwice[ring], view.windowSums[ring]);
    std::memcpy(view.laidOut[ring], profile, count * sizeof(double));
    view.laidOutCount[ring] = count;
  }
}

}  // namespace orvalis::fastscan
