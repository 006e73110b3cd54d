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
