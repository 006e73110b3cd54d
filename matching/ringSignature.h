#pragma once

#include <cstdint>

#include "state/searchState.h"
#include "state/workspace.h"

namespace orvalis {

// Radius of ring index o (0..8) of a region of radius R: ((o + 1) x R) / 9,
// the product formed first. Template and candidate use this same expression,
// so their rings have equal radii and equal sample counts.
inline double ringRadius(int ringIndex, double regionRadius) {
  return (static_cast<double>(ringIndex + 1) * regionRadius) / 9.0;
}

// True when every ring of a region of this radius gets at least one sample and
// none more than a profile holds (kMaxRingSamples): in whole pixels, radii 1
// to 250. A smaller radius leaves the inner rings empty (their mean would
// divide by zero); a larger one would overflow the profiles. False otherwise,
// also for a negative or NaN radius.
[[nodiscard]] bool ringRadiusUsable(double regionRadius);

// Histogram and mean of one ring profile of count samples: bin
// floor(v + 0.5) (half up, 12.5 counts in 13) for every sample v, and the mean
// of the samples summed in order. Returns true; returns false for an empty profile,
// which leaves every bin 0 and the mean 0 instead of dividing by zero.
bool ringHistogram(std::uint32_t count, const double* profile, std::int32_t* histogram, double& mean);

// Whether a template can be built soundly from the query: not for a query
// size beyond the store, a filterRadius above kMaxFilterRadius, a viewfinder
// radius outside ringRadiusUsable, or a viewfinder circle that does not lie
// inside the query picture with a margin of one pixel. The search must not
// run on a refused template.
[[nodiscard]] bool templateBuildable(const SearchState& state);

// The template side of the ring signature sampled from queryGray (the
// filtered query) at the viewfinder: templateCentreValue, the nine template
// ring profiles and ringSampleCount. Only for a buildable template.
void sampleTemplateSignature(Workspace& workspace);
// The same from any gray plane of this width, the viewfinder's centre at
// (row, column) of that plane.
void sampleTemplateFrom(SearchState& state, const std::uint8_t* gray, std::uint32_t width, double row,
                        double column);

// Histograms and means of the nine template profiles. Returns true; returns false
// when a ring has no samples (a template refused above), leaving that ring's
// histogram empty and its mean 0.
[[nodiscard]] bool buildTemplateHistograms(SearchState& state);

}  // namespace orvalis
