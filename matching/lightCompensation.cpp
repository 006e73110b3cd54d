#include "matching/lightCompensation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvalis {

namespace {

// Mean and spread of the nine profiles, summed ring by ring in sample order.
void spreadOf(const double (*profile)[kMaxRingSamples], const std::uint32_t* count, double& mean,
              double& spread) {
  double sum = 0.0, squares = 0.0, samples = 0.0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    for (std::uint32_t i = 0; i < count[ring]; ++i) sum += profile[ring][i];
    samples += count[ring];
  }
  mean = samples > 0 ? sum / samples : 0.0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    for (std::uint32_t i = 0; i < count[ring]; ++i) {
      const double d = profile[ring][i] - mean;
      squares += d * d;
    }
  }
  spread = samples > 0 ? std::sqrt(squares / samples) : 0.0;
}

}  // namespace

LightModel lightModelOf(const SearchState& state) {
  LightModel model;
  spreadOf(state.templateRingProfile, state.ringSampleCount, model.mean, model.spread);
  return model;
}

bool lightFeasible(const LightBand* bands, int count) {
  // For a gain g the offsets that keep band i are a_i - g (b_i + w_i) - s_i
  // .. a_i - g (b_i - w_i) + s_i: lines in g. The room left, the lowest upper
  // line less the highest lower line, is concave, so its largest value lies
  // at an end of the gain range or where two lower or two upper lines cross.
  constexpr double kLenience = 1e-6;
  const auto room = [&](double g) {
    double low = -kLightOffset, high = kLightOffset;
    for (int i = 0; i < count; ++i) {
      const LightBand& b = bands[i];
      low = std::max(low, b.candidate - g * (b.templateValue + b.width) - b.slack);
      high = std::min(high, b.candidate - g * (b.templateValue - b.width) + b.slack);
    }
    return high - low;
  };
  if (room(kLightGainMin) >= -kLenience || room(kLightGainMax) >= -kLenience) return true;
  // Line i of a side: intercept a_i -+ s_i, slope -(b_i +- w_i); the
  // constants have slope 0.
  for (int side = 0; side < 2; ++side) {
    const double sign = side == 0 ? 1.0 : -1.0;
    for (int i = -1; i < count; ++i) {
      const double si = i < 0 ? 0.0 : -(bands[i].templateValue + sign * bands[i].width);
      const double ci = i < 0 ? -sign * kLightOffset : bands[i].candidate - sign * bands[i].slack;
      for (int j = i + 1; j < count; ++j) {
        const double sj = -(bands[j].templateValue + sign * bands[j].width);
        const double cj = bands[j].candidate - sign * bands[j].slack;
        if (si == sj) continue;
        const double g = (cj - ci) / (si - sj);
        if (g > kLightGainMin && g < kLightGainMax && room(g) >= -kLenience) return true;
      }
    }
  }
  return false;
}

void LightRegion::reset() {
  corners_ = 4;
  bands_ = 0;
  gain_[0] = gain_[3] = kLightGainMin;
  gain_[1] = gain_[2] = kLightGainMax;
  offset_[0] = offset_[1] = -kLightOffset;
  offset_[2] = offset_[3] = kLightOffset;
}

bool LightRegion::add(const LightBand& b) {
  // offset >= candidate - gain (template + width) - slack, and
  // offset <= candidate - gain (template - width) + slack.
  if (++bands_ > kRingCount + 1) return corners_ > 0;
  return clip(-(b.templateValue + b.width), -1.0, b.slack - b.candidate + kLenience) &&
         clip(b.templateValue - b.width, 1.0, b.candidate + b.slack + kLenience);
}

void LightRegion::extent(double lowSlope, double highSlope, double& low, double& high) const {
  low = std::numeric_limits<double>::infinity();
  high = -low;
  for (int i = 0; i < corners_; ++i) {
    low = std::min(low, offset_[i] + gain_[i] * lowSlope);
    high = std::max(high, offset_[i] + gain_[i] * highSlope);
  }
}

bool LightRegion::clip(double a, double b, double c) {
  double side[kMaxCorners];
  bool inside = true, outside = true;
  for (int i = 0; i < corners_; ++i) {
    side[i] = a * gain_[i] + b * offset_[i] - c;
    inside = inside && side[i] <= 0;
    outside = outside && side[i] > 0;
  }
  // Most bands leave the polygon whole or nothing of it.
  if (inside || outside) {
    if (outside) corners_ = 0;
    return inside;
  }
  double gain[kMaxCorners + 1], offset[kMaxCorners + 1];
  int kept = 0;
  for (int i = 0; i < corners_; ++i) {
    const int next = i + 1 == corners_ ? 0 : i + 1;
    if (side[i] <= 0) {
      gain[kept] = gain_[i];
      offset[kept++] = offset_[i];
    }
    if ((side[i] < 0 && side[next] > 0) || (side[i] > 0 && side[next] < 0)) {
      const double t = side[i] / (side[i] - side[next]);
      gain[kept] = gain_[i] + t * (gain_[next] - gain_[i]);
      offset[kept++] = offset_[i] + t * (offset_[next] - offset_[i]);
    }
  }
  // A convex polygon cut by a line gains at most one corner, so the bands
  // taken never make more than kMaxCorners.
  corners_ = kept;
  for (int i = 0; i < kept; ++i) {
    gain_[i] = gain[i];
    offset_[i] = offset[i];
  }
  return kept > 0;
}

void LightScreen::prepare(double centreValue, double colorTolerance, const double* ringMean,
                          double meanTolerance) {
  constexpr double kRoom = 2 * LightRegion::kLenience;
  for (int value = 0; value < 256; ++value) {
    const LightBand band{double(value), centreValue, colorTolerance, 0.0};
    passes_[value] = lightFeasible(&band, 1);
    LightRegion& region = region_[value];
    region.reset();
    (void)region.add(band);
    // The region is convex, so the first ring's means it can keep form one
    // interval.
    region.extent(ringMean[0] - meanTolerance, ringMean[0] + meanTolerance, low_[value], high_[value]);
    low_[value] -= kRoom;
    high_[value] += kRoom;
  }
  // gain x (the template's difference, within twice the tolerance), for a
  // gain in range: the ends of the range give the ends.
  const double step = ringMean[1] - ringMean[0], width = 2 * meanTolerance;
  stepLow_ = std::min(kLightGainMin * (step - width), kLightGainMax * (step - width)) - 2 * kRoom;
  stepHigh_ = std::max(kLightGainMin * (step + width), kLightGainMax * (step + width)) + 2 * kRoom;
}

bool compensateLight(const LightModel& model, double& centreValue, double (*profile)[kMaxRingSamples],
                     const std::uint32_t* count) {
  double mean = 0, spread = 0;
  spreadOf(profile, count, mean, spread);
  // A template without spread tells nothing of the gain: offset only.
  const double gain = model.spread >= 1.0 ? spread / model.spread : 1.0;
  const double offset = mean - gain * model.mean;
  if (!(gain >= kLightGainMin && gain <= kLightGainMax && std::fabs(offset) <= kLightOffset)) return false;
  centreValue = (centreValue - offset) / gain;
  for (int ring = 0; ring < kRingCount; ++ring) {
    for (std::uint32_t i = 0; i < count[ring]; ++i) profile[ring][i] = (profile[ring][i] - offset) / gain;
  }
  return true;
}

void lightHistogram(std::uint32_t count, const double* profile, std::int32_t* histogram, double& mean) {
  for (int bin = 0; bin < 256; ++bin) histogram[bin] = 0;
  double sum = 0.0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double v = profile[i];
    sum = sum + v;
    const int bin = static_cast<int>(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
    histogram[bin] = histogram[bin] + 1;
  }
  mean = count > 0 ? sum / count : 0.0;
}

}  // namespace orvalis
