#pragma once

// The pieces of the fast scan (matching/fastScan.h) that its units share: the
// tables made once per radius and per scan (fastScanTables.cpp), the sampling,
// histogram and estimate code chosen per instruction set (fastScanKernels.cpp),
// and the scan that drives them (fastScan.cpp).

#include <atomic>
#include <cstdint>
#include <mutex>

#include "matching/fastAlignment.h"
#include "matching/fastScan.h"
#include "matching/lightCompensation.h"
#include "state/constants.h"
#include "state/searchState.h"

namespace orvalis {
struct ScanPass;
}

namespace orvalis::fastscan {

// Centres screened together by the first ring's estimate, one per lane.
constexpr int kBlock = 16;

// Every sample adds to at most four pixels.
constexpr int kMaxTaps = 4 * kRingCount * kMaxRingSamples;
constexpr int kMaxGridHalf = static_cast<int>(kMaxViewfinderRadius) + 3;
constexpr int kMaxGridSide = 2 * kMaxGridHalf + 1;

// What depends on the radius and the row stride only.
struct RadiusTables {
  bool built = false;
  double radius = 0;
  double scale = 1;  // rings at radius x scale, with the counts of radius
  std::uint32_t width = 0;
  std::uint32_t count[kRingCount] = {};
  // r x cos(i x step) and r x sin(i x step): formed exactly as the plain
  // sampler forms them.
  double rowOffset[kRingCount][kMaxRingSamples];
  double columnOffset[kRingCount][kMaxRingSamples];
  // The ring mean as a linear combination of pixels: tap t of ring k, for k's
  // taps tapBegin[k] .. tapEnd[k] - 1, weighs the pixel at offset
  // tapOffset[t] from the centre (row stride width) by tapWeight[t]. The
  // first ring's taps are made with the tables, the others on first use
  // (needRing): most centres never get past the first ring, and a range of
  // scales makes tables for every scale.
  int tapBegin[kRingCount] = {}, tapEnd[kRingCount] = {};
  std::atomic<bool> ringReady[kRingCount] = {};
  std::mutex building;  // the lanes may ask for a ring at once
  int nextTap = 0;
  std::int64_t tapOffset[kMaxTaps];
  double tapWeight[kMaxTaps];
  float tapWeightFloat[kMaxTaps];
  // Bounds on |estimate - exactly summed mean|, in double and in float.
  double marginDouble[kRingCount] = {};
  double marginFloat[kRingCount] = {};
  // Merging grid for the build, all zero between builds: a build clears
  // only the cells it touched, listed in touched.
  bool gridClear = false;
  double grid[kMaxGridSide * kMaxGridSide];
  std::int32_t touched[4 * kMaxRingSamples];
  // cos and sin of each sample's angle for the counts of angleCount: they
  // depend on the count only, so a new scale keeps them.
  std::uint32_t angleCount[kRingCount] = {};
  double cosine[kRingCount][kMaxRingSamples];
  double sine[kRingCount][kMaxRingSamples];
};

// The code that estimates the first ring's mean for a block of centres.
using EstimateBlock = void (*)(const std::uint8_t* origin, const std::int64_t* tapOffset,
                               const float* tapWeight, int taps, float* estimates);

// The code that samples a ring from the tables (sampleFromTables or a
// vectorised equivalent).
using SampleRing = void (*)(const std::uint8_t* gray, std::uint32_t width, double row, double column,
                            const double* rowOffset, const double* columnOffset, std::uint32_t count,
                            double* profile);

// What depends on the template and the tolerance: set for each scan.
struct TemplateView {
  EstimateBlock estimateBlock = nullptr;
  // Set while a scan runs: a close ends it between the rings of a centre,
  // since on a picture without texture one centre can take long.
  const std::atomic<bool>* abandon = nullptr;
  // Where the scan starts, which centres it avoids and which turns it takes.
  const ScanPass* pass = nullptr;
  const SearchState* state = nullptr;  // the template, for the light compensation
  SampleRing sampleRing = nullptr;
  double centreValue = 0;
  const double* ringMean = nullptr;
  const std::int32_t (*ringHist)[256] = nullptr;
  std::uint8_t colorTolerance = 0;
  double meanTolerance = 0;
  bool centrePasses[256] = {};
  LightScreen lightScreen;  // under other light
  // Behind a scale screen, each row's span of marked centres (null: none).
  const std::int32_t* screenSpan = nullptr;
  // The template profiles laid out for the alignment, and the profiles they
  // were laid out from: a scan at another scale, or the next picture, keeps
  // the template and so the layout.
  double profileTwice[kRingCount][2 * kMaxRingSamples + kAlignLanes];
  std::uint32_t laidOutCount[kRingCount] = {};
  double laidOut[kRingCount][kMaxRingSamples];
  std::int32_t windowSums[kRingCount][8 * kMaxRingSamples + 4 * kAlignLanes];
};

// Sample positions and estimate kernels for a radius and row stride; kept
// while both stay the same.
void prepareTables(RadiusTables& t, double regionRadius, double scale, std::uint32_t width);

// Makes ring `ring`'s taps and margins, once per tables.
void buildRingTaps(RadiusTables& t, int ring);
inline void needRing(RadiusTables& t, int ring) {
  if (!t.ringReady[ring].load(std::memory_order_acquire)) buildRingTaps(t, ring);
}

// The template's side of the scan, from the state, for tables of its radius.
void prepareView(TemplateView& view, const SearchState& state, const RadiusTables& t);

// The ring sampler and the block estimate for an estimate code: the widest
// the processor offers within what the code allows.
SampleRing chooseSampler(EstimateCode code);
EstimateBlock chooseEstimateBlock(EstimateCode code);

// ringHistogram, operation for operation: the same bins and the same mean.
void histogramAndMean(std::uint32_t count, const double* profile, std::int32_t* histogram, double& mean);

// The histogram of histogramAndMean and the mean from a sum in four lanes,
// which may differ from the plain mean in its last bits; count > 0.
double histogramAndQuickMean(std::uint32_t count, const double* profile, std::int32_t* histogram);

}  // namespace orvalis::fastscan
