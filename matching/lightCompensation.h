#pragma once

#include <cstdint>

#include "state/constants.h"
#include "state/searchState.h"

namespace orvalis {

// Brightness and contrast between the template disc and a candidate: the
// candidate is taken for gain x template + offset, with the gain from
// kLightGainMin to kLightGainMax and the offset within +-kLightOffset gray
// levels, and brought back to the template's light before the tolerance
// tests.
// The range is a little wider than the light promised (gain 0.8 to 1.25,
// offset +-30), so that a copy at its very edge whose measured gain or offset
// comes out a hair beyond it is still taken.
inline constexpr double kLightGainMin = 0.78, kLightGainMax = 1.28, kLightOffset = 32.0;

// What the compensation needs of the template: the mean and spread (standard
// deviation) of all its ring samples, ring by ring in sample order.
struct LightModel {
  double mean = 0, spread = 0;
};
LightModel lightModelOf(const SearchState& state);

// One value of the candidate against the template's: within width x gain of
// the template value once compensated, plus slack (in the candidate's own
// gray levels, for estimates).
struct LightBand {
  double candidate, templateValue, width, slack;
};

// Whether some gain and offset in range bring every band within its width:
// a necessary condition for the compensated tests to pass, so a sound early
// rejection. Lenient by 1e-6 against rounding.
[[nodiscard]] bool lightFeasible(const LightBand* bands, int count);

// The gains and offsets that every band added so far leaves, as a convex
// polygon in (gain, offset), clipped band by band: a screen that costs a few
// dozen operations a band where lightFeasible costs the cube of their count.
// Each band's edges are pushed out by kLenience, more than lightFeasible's
// own, so that the polygon always holds what lightFeasible would accept: an
// empty polygon proves lightFeasible false for the same bands.
class LightRegion {
 public:
  static constexpr double kLenience = 1e-5;
  LightRegion() { reset(); }
  // Copies read only the corners in use.
  LightRegion(const LightRegion& other) { *this = other; }
  LightRegion& operator=(const LightRegion& other) {
    corners_ = other.corners_;
    bands_ = other.bands_;
    for (int i = 0; i < corners_; ++i) {
      gain_[i] = other.gain_[i];
      offset_[i] = other.offset_[i];
    }
    return *this;
  }
  // Back to the whole range of gains and offsets, no band taken.
  void reset();
  // Clips by the band; false once nothing is left. Takes kRingCount + 1
  // bands; any beyond are not clipped by.
  bool add(const LightBand& band);
  // The least of offset + gain x lowSlope and the most of offset + gain x
  // highSlope over the region: the candidate values a band of those slopes
  // can keep, as the region is convex.
  void extent(double lowSlope, double highSlope, double& low, double& high) const;

 private:
  // Keeps the points with a x gain + b x offset <= c.
  bool clip(double a, double b, double c);
  static constexpr int kMaxCorners = 4 + 2 * (kRingCount + 1);
  int corners_ = 0, bands_ = 0;
  // Only the first corners_ are read: not cleared, as the scan makes a
  // region for every centre.
  double gain_[kMaxCorners], offset_[kMaxCorners];
};

// The early tests of a scan under other light, made once per template:
// cheaper than clipping a region, and sound, as each rejects only bands that
// no gain and offset in range meet (lightFeasible false), with room beyond
// the region's lenience. Estimates come within a margin of the ring means.
class LightScreen {
 public:
  // For the template's centre value and its first two ring means.
  void prepare(double centreValue, double colorTolerance, const double* ringMean, double meanTolerance);
  // Whether some gain and offset keep the centre byte within its tolerance.
  bool centrePasses(std::uint8_t centre) const { return passes_[centre]; }
  // The gains and offsets that the centre byte leaves.
  const LightRegion& centreRegion(std::uint8_t centre) const { return region_[centre]; }
  // Whether none of those leaves the first ring's mean within its band.
  bool firstRejects(std::uint8_t centre, double estimate, double margin) const {
    return estimate < low_[centre] - margin || estimate > high_[centre] + margin;
  }
  // Whether no gain leaves the second ring's mean less the first's (the
  // offset cancels) within the bands' difference.
  bool stepRejects(double first, double firstMargin, double second, double secondMargin) const {
    const double difference = second - first, slack = firstMargin + secondMargin;
    return difference < stepLow_ - slack || difference > stepHigh_ + slack;
  }

 private:
  bool passes_[256] = {};
  LightRegion region_[256];
  double low_[256] = {}, high_[256] = {};
  double stepLow_ = 0, stepHigh_ = 0;
};

// The gain and offset of a candidate: the spread and mean of its ring samples
// against the template's; then every sample and the centre value brought
// back, (value - offset) / gain. False, changing nothing, when the gain or
// the offset lies beyond its range: a region that needs more is no copy.
[[nodiscard]] bool compensateLight(const LightModel& model, double& centreValue,
                                   double (*profile)[kMaxRingSamples], const std::uint32_t* count);

// The histogram and mean of a compensated profile: bins as ringHistogram's,
// values beyond 0..255 counted in the end bins; the mean summed in order.
void lightHistogram(std::uint32_t count, const double* profile, std::int32_t* histogram, double& mean);

}  // namespace orvalis
