#include "matching/fastScan.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "imaging/bilinearSampling.h"
#include "matching/admissibleCentre.h"
#include "matching/archiveScan.h"
#include "matching/candidateTest.h"
#include "matching/consensusReach.h"
#include "matching/fastAlignment.h"
#include "matching/ringSignature.h"
#include "matching/rotationEstimate.h"
#include "platform/atomicMinimum.h"
#include "platform/targetClones.h"
#include "platform/workerPool.h"

namespace orvalis {

namespace {

// Centres screened together by the first ring's estimate, one per lane.
constexpr int kBlock = 16;

// Rows handed to a lane at a time.
constexpr std::int64_t kChunkRows = 4;

// Every sample adds to at most four pixels.
constexpr int kMaxTaps = 4 * kRingCount * kMaxRingSamples;
constexpr int kMaxGridHalf = static_cast<int>(kMaxViewfinderRadius) + 3;
constexpr int kMaxGridSide = 2 * kMaxGridHalf + 1;

// What depends on the radius and the row stride only.
struct RadiusTables {
  bool built = false;
  double radius = 0;
  std::uint32_t width = 0;
  std::uint32_t count[kRingCount] = {};
  // r x cos(i x step) and r x sin(i x step): formed exactly as the plain
  // sampler forms them.
  double rowOffset[kRingCount][kMaxRingSamples];
  double columnOffset[kRingCount][kMaxRingSamples];
  // The ring mean as a linear combination of pixels: tap t of ring k, for k's
  // taps tapBegin[k] .. tapBegin[k + 1] - 1, weighs the pixel at offset
  // tapOffset[t] from the centre (row stride width) by tapWeight[t].
  int tapBegin[kRingCount + 1] = {};
  std::int64_t tapOffset[kMaxTaps];
  double tapWeight[kMaxTaps];
  float tapWeightFloat[kMaxTaps];
  // Bounds on |estimate - exactly summed mean|, in double and in float.
  double marginDouble[kRingCount] = {};
  double marginFloat[kRingCount] = {};
  // Merging grid for the build.
  double grid[kMaxGridSide * kMaxGridSide];
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
  SampleRing sampleRing = nullptr;
  double centreValue = 0;
  const double* ringMean = nullptr;
  const std::int32_t (*ringHist)[256] = nullptr;
  std::uint8_t colorTolerance = 0;
  double meanTolerance = 0;
  bool centrePasses[256] = {};
  // The template profiles laid out for the alignment.
  double profileTwice[kRingCount][2 * kMaxRingSamples + kAlignLanes];
  std::int32_t windowSums[kRingCount][8 * kMaxRingSamples + 4 * kAlignLanes];
};

// One thread's candidate signature and angle scratch.
struct Candidate {
  double centreValue = 0;
  double profile[kRingCount][kMaxRingSamples];
  std::uint32_t count[kRingCount] = {};
  std::int32_t hist[kRingCount][256] = {};
  double mean[kRingCount] = {};
  std::int32_t workA[256] = {}, workB[256] = {};
  double angleDeg[kRingCount] = {};
  double angleStep[kRingCount] = {};
  double consensusAngleDeg = 0;
};

// Sample counts and position tables for a radius; sample counts as sampleRing
// forms them.
void buildOffsets(RadiusTables& t, double regionRadius) {
  for (int ring = 0; ring < kRingCount; ++ring) {
    const double radius = ringRadius(ring, regionRadius);
    const std::uint32_t count = ringSampleCountOf(radius);
    t.count[ring] = count;
    if (count == 0) continue;
    const double step = kFullTurn / count;
    for (std::uint32_t i = 0; i < count; ++i) {
      const double angle = i * step;
      t.rowOffset[ring][i] = radius * std::cos(angle);
      t.columnOffset[ring][i] = radius * std::sin(angle);
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

void buildKernels(RadiusTables& t, double regionRadius, std::uint32_t width) {
  int tap = 0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    t.tapBegin[ring] = tap;
    const std::uint32_t count = t.count[ring];
    if (count == 0) continue;
    const int half = static_cast<int>(std::ceil(ringRadius(ring, regionRadius))) + 2;
    const int side = 2 * half + 1;
    std::fill(t.grid, t.grid + static_cast<std::size_t>(side) * side, 0.0);
    for (std::uint32_t i = 0; i < count; ++i) {
      const double row = -t.rowOffset[ring][i];
      const double column = -t.columnOffset[ring][i];
      const double r0 = std::floor(row), c0 = std::floor(column);
      const auto [fy, gy, fx, gx] = bilinearWeights(row, column, r0, c0);
      const std::size_t at =
          static_cast<std::size_t>((static_cast<int>(r0) + half) * side + static_cast<int>(c0) + half);
      t.grid[at] += gx * gy;
      t.grid[at + 1] += fx * gy;
      t.grid[at + side] += gx * fy;
      t.grid[at + side + 1] += fx * fy;
    }
    for (int a = 0; a < side; ++a) {
      for (int b = 0; b < side; ++b) {
        const double weight = t.grid[a * side + b];
        if (weight == 0.0) continue;
        t.tapOffset[tap] = static_cast<std::int64_t>(a - half) * width + (b - half);
        t.tapWeight[tap] = weight / count;
        t.tapWeightFloat[tap] = static_cast<float>(weight / count);
        ++tap;
      }
    }
    const double taps = tap - t.tapBegin[ring];
    t.marginDouble[ring] = 255.0 * (taps + 2) * kUnitRoundoff + kExactSlack;
    t.marginFloat[ring] = 255.0 * (taps + 2) * std::ldexp(1.0, -24) + kExactSlack;
  }
  t.tapBegin[kRingCount] = tap;
}

void prepareTables(RadiusTables& t, double regionRadius, std::uint32_t width) {
  if (t.built && t.radius == regionRadius && t.width == width) return;
  buildOffsets(t, regionRadius);
  buildKernels(t, regionRadius, width);
  t.built = true;
  t.radius = regionRadius;
  t.width = width;
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
    layOutTemplate(state.templateRingProfile[ring], count, view.profileTwice[ring], view.windowSums[ring]);
  }
}

// sampleRing from the tables: the same positions, the same interpolation.
// Built for the widest instruction set present (floor is then one
// instruction): every operation is still rounded on its own, as fused
// multiply-adds are off project-wide.
ORVALIS_TARGET_CLONES void sampleFromTables(const std::uint8_t* gray, std::uint32_t width, double row,
                                            double column, const double* rowOffset,
                                            const double* columnOffset, std::uint32_t count,
                                            double* profile) {
  for (std::uint32_t i = 0; i < count; ++i) {
    profile[i] = bilinearAt(gray, width, row - rowOffset[i], column - columnOffset[i]);
  }
}

#if defined(__x86_64__)
// sampleFromTables four samples at a time: the same operations on the same
// doubles in each lane (subtraction, floor, the weights, the four products
// and their sum in the same order; nothing fused), so the same values. The
// two pixels of a sample's row come from one four-byte gather at the first of
// them; the two bytes past them that it also reads lie inside the plane's
// buffer (kPlaneCapacity bytes) except near its very end, where the plain
// code samples instead.
__attribute__((target("avx2"))) void sampleFromTablesAvx2(const std::uint8_t* gray, std::uint32_t width,
                                                          double row, double column, const double* rowOffset,
                                                          const double* columnOffset, std::uint32_t count,
                                                          double* profile) {
  const __m256d rows = _mm256_set1_pd(row), columns = _mm256_set1_pd(column);
  const __m256d one = _mm256_set1_pd(1.0);
  const __m128i stride = _mm_set1_epi32(static_cast<int>(width));
  const __m128i lastSafe = _mm_set1_epi32(static_cast<int>(kPlaneCapacity - 4 - width));
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  const int* base = reinterpret_cast<const int*>(gray);
  std::uint32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256d r = _mm256_sub_pd(rows, _mm256_loadu_pd(rowOffset + i));
    const __m256d c = _mm256_sub_pd(columns, _mm256_loadu_pd(columnOffset + i));
    const __m256d r0 = _mm256_floor_pd(r), c0 = _mm256_floor_pd(c);
    const __m128i at =
        _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(r0), stride), _mm256_cvttpd_epi32(c0));
    if (_mm_movemask_epi8(_mm_cmpgt_epi32(at, lastSafe)) != 0) {
      for (std::uint32_t k = i; k < i + 4; ++k) {
        profile[k] = bilinearAt(gray, width, row - rowOffset[k], column - columnOffset[k]);
      }
      continue;
    }
    const __m256d fy = _mm256_sub_pd(r, r0), gy = _mm256_sub_pd(_mm256_add_pd(r0, one), r);
    const __m256d fx = _mm256_sub_pd(c, c0), gx = _mm256_sub_pd(_mm256_add_pd(c0, one), c);
    const __m128i top = _mm_i32gather_epi32(base, at, 1);
    const __m128i bottom = _mm_i32gather_epi32(base, _mm_add_epi32(at, stride), 1);
    const __m256d p00 = _mm256_cvtepi32_pd(_mm_and_si128(top, lowByte));
    const __m256d p01 = _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(top, 8), lowByte));
    const __m256d p10 = _mm256_cvtepi32_pd(_mm_and_si128(bottom, lowByte));
    const __m256d p11 = _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(bottom, 8), lowByte));
    __m256d value = _mm256_mul_pd(p00, _mm256_mul_pd(gx, gy));
    value = _mm256_add_pd(value, _mm256_mul_pd(p11, _mm256_mul_pd(fx, fy)));
    value = _mm256_add_pd(value, _mm256_mul_pd(p01, _mm256_mul_pd(fx, gy)));
    value = _mm256_add_pd(value, _mm256_mul_pd(p10, _mm256_mul_pd(gx, fy)));
    _mm256_storeu_pd(profile + i, value);
  }
  for (; i < count; ++i) profile[i] = bilinearAt(gray, width, row - rowOffset[i], column - columnOffset[i]);
}
#endif

SampleRing chooseSampler(EstimateCode code) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (code != EstimateCode::Plain && __builtin_cpu_supports("avx2")) return sampleFromTablesAvx2;
#endif
  (void)code;
  return sampleFromTables;
}

// ringHistogram, operation for operation, built like the sampler.
ORVALIS_TARGET_CLONES void histogramAndMean(std::uint32_t count, const double* profile,
                                            std::int32_t* histogram, double& mean) {
  std::memset(histogram, 0, 256 * sizeof(std::int32_t));
  if (count == 0) {
    mean = 0.0;
    return;
  }
  double sum = 0.0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double v = profile[i];
    sum = sum + v;
    ++histogram[static_cast<int>(std::floor(v + 0.5)) & 0xFF];
  }
  mean = sum / static_cast<double>(count);
}

// One ring of testCandidate: sampled, its histogram and mean made, both
// compared.
int testRing(const RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
             double row, double column, int ring, Candidate& c) {
  const std::uint32_t count = t.count[ring];
  c.count[ring] = count;
  view.sampleRing(gray, width, row, column, t.rowOffset[ring], t.columnOffset[ring], count, c.profile[ring]);
  histogramAndMean(count, c.profile[ring], c.hist[ring], c.mean[ring]);
  if (std::fabs(c.mean[ring] - view.ringMean[ring]) > view.meanTolerance) return 0;
  return histogramsTransportable(c.hist[ring], view.ringHist[ring], c.workA, c.workB, view.colorTolerance);
}

// The histogram of histogramAndMean, in four parts (so that the counts of one
// busy bin need not wait for each other), and the mean from a sum in four
// lanes; count > 0.
ORVALIS_TARGET_CLONES double histogramAndQuickMean(std::uint32_t count, const double* profile,
                                                   std::int32_t* histogram) {
  std::int32_t parts[4][256];
  std::memset(parts, 0, sizeof parts);
  double lanes[4] = {0.0, 0.0, 0.0, 0.0};
  std::uint32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    for (int k = 0; k < 4; ++k) {
      const double v = profile[i + k];
      lanes[k] += v;
      ++parts[k][static_cast<int>(std::floor(v + 0.5)) & 0xFF];
    }
  }
  for (; i < count; ++i) {
    lanes[0] += profile[i];
    ++parts[0][static_cast<int>(std::floor(profile[i] + 0.5)) & 0xFF];
  }
  for (int bin = 0; bin < 256; ++bin)
    histogram[bin] = (parts[0][bin] + parts[1][bin]) + (parts[2][bin] + parts[3][bin]);
  return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) / static_cast<double>(count);
}

// testRing's verdict, for a caller that never looks at the ring's mean, with
// histogramAndQuickMean. The four-lane sum and the
// plain one each lie within (count - 1) u x 255 count of the exact sum
// (u = 2^-53), so their means lie within 2 x 5000 u x 255 < 3e-10 of each
// other, plus their rounding: only a mean within 1e-9 of the tolerance's edge
// needs the plain sum. The mean left in the record is then the four-lane one.
int testRingVerdict(const RadiusTables& t, const TemplateView& view, const std::uint8_t* gray,
                    std::uint32_t width, double row, double column, int ring, Candidate& c) {
  const std::uint32_t count = t.count[ring];
  c.count[ring] = count;
  double* profile = c.profile[ring];
  view.sampleRing(gray, width, row, column, t.rowOffset[ring], t.columnOffset[ring], count, profile);
  if (count == 0) {
    histogramAndMean(count, profile, c.hist[ring], c.mean[ring]);
    if (std::fabs(c.mean[ring] - view.ringMean[ring]) > view.meanTolerance) return 0;
    return histogramsTransportable(c.hist[ring], view.ringHist[ring], c.workA, c.workB, view.colorTolerance);
  }
  std::int32_t* histogram = c.hist[ring];
  const double mean = histogramAndQuickMean(count, profile, histogram);
  const double off = std::fabs(mean - view.ringMean[ring]);
  c.mean[ring] = mean;
  if (std::fabs(off - view.meanTolerance) <= 1e-9) {
    histogramAndMean(count, profile, histogram, c.mean[ring]);
    if (std::fabs(c.mean[ring] - view.ringMean[ring]) > view.meanTolerance) return 0;
  } else if (off > view.meanTolerance) {
    return 0;
  }
  return histogramsTransportable(histogram, view.ringHist[ring], c.workA, c.workB, view.colorTolerance);
}

// testCandidate, step for step, into a candidate record.
int exactTest(const RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
              double row, double column, Candidate& c) {
  c.centreValue = bilinearAt(gray, width, row, column);
  if (std::fabs(c.centreValue - view.centreValue) > view.colorTolerance) return 0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (!testRing(t, view, gray, width, row, column, ring, c)) return 0;
  }
  return 1;
}

// True when the estimate of ring `ring` proves that the exact mean test
// fails at the centre `origin` points to.
bool estimateRejects(const RadiusTables& t, const TemplateView& view, const std::uint8_t* origin, int ring) {
  // Four running sums side by side: the bound on the rounding holds for any
  // order of summation, and the chain of additions is a quarter as long.
  double sum[4] = {0.0, 0.0, 0.0, 0.0};
  const int end = t.tapBegin[ring + 1];
  int tap = t.tapBegin[ring];
  for (; tap + 4 <= end; tap += 4) {
    for (int k = 0; k < 4; ++k) sum[k] += t.tapWeight[tap + k] * origin[t.tapOffset[tap + k]];
  }
  for (; tap < end; ++tap) sum[0] += t.tapWeight[tap] * origin[t.tapOffset[tap]];
  const double estimate = (sum[0] + sum[1]) + (sum[2] + sum[3]);
  return std::fabs(estimate - view.ringMean[ring]) > view.meanTolerance + t.marginDouble[ring];
}

bool estimatesReject(const RadiusTables& t, const TemplateView& view, const std::uint8_t* origin,
                     int firstRing) {
  for (int ring = firstRing; ring < kRingCount; ++ring) {
    if (estimateRejects(t, view, origin, ring)) return true;
  }
  return false;
}

// A centre whose inner angles leave the consensus no chance fails
// agreeOnAngle whatever the remaining rings give (or fails their alignment
// first): nobody sees its angles, so it is given up at once.
bool consensusRuledOut(int known, const Candidate& c) {
  return known >= kTellingRings && known < kRingCount && !consensusPossible(known, c.count, c.angleDeg);
}

int alignOne(const TemplateView& view, int ring, Candidate& c) {
  return alignRingFast(c.profile[ring], c.count[ring], view.profileTwice[ring], view.windowSums[ring],
                       view.colorTolerance, c.angleDeg[ring]);
}

// alignAllRings, except that a centre whose consensus has become impossible
// is given up early (0, as agreeOnAngle would give).
int alignAll(const TemplateView& view, Candidate& c) {
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (!alignOne(view, ring, c) || consensusRuledOut(ring + 1, c)) return 0;
  }
  return 1;
}

// testCandidate, alignAllRings and agreeOnAngle, each only after the one
// before passed.
int accept(const RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
           std::int64_t row, std::int64_t column, Candidate& c) {
  return exactTest(t, view, gray, width, static_cast<double>(row), static_cast<double>(column), c) &&
                 alignAll(view, c) && agreeOnAngle(c.count, c.angleDeg, c.angleStep, c.consensusAngleDeg)
             ? 1
             : 0;
}

// The verdict of accept, and on acceptance the same candidate record, with
// less work for a centre that passes the test but not the consensus, as on
// pictures without texture nearly every centre does: each ring is tested and
// aligned before the next, dearer one is sampled (on noise the alignment of an
// inner ring rejects most centres that its test passes), and the centre is
// given up once its inner angles rule the consensus out. The verdict is the
// conjunction of the same conditions, met in another order.
int acceptRingByRing(const RadiusTables& t, const TemplateView& view, const std::uint8_t* gray,
                     std::uint32_t width, std::int64_t row, std::int64_t column, Candidate& c) {
  const double y = static_cast<double>(row), x = static_cast<double>(column);
  c.centreValue = bilinearAt(gray, width, y, x);
  if (std::fabs(c.centreValue - view.centreValue) > view.colorTolerance) return 0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (view.abandon != nullptr && view.abandon->load(std::memory_order_relaxed)) return 0;
    if (!testRingVerdict(t, view, gray, width, y, x, ring, c)) return 0;
    // Where the consensus then hangs on this ring's angle, only whether the
    // best shift is one of those that keep it possible matters.
    std::uint8_t decisive[kMaxRingSamples];
    const bool some = markDecisiveShifts(ring, c.count, c.angleDeg, decisive);
    if (alignRingDecisive(c.profile[ring], c.count[ring], view.profileTwice[ring], view.windowSums[ring],
                          view.colorTolerance, some ? decisive : nullptr,
                          c.angleDeg[ring]) != RingAlignment::Aligned ||
        consensusRuledOut(ring + 1, c))
      return 0;
  }
  return agreeOnAngle(c.count, c.angleDeg, c.angleStep, c.consensusAngleDeg);
}

// The first ring's estimate for kBlock neighbouring centres at once, in float:
// lane l sums weight x pixel over the taps in tap order, every product and sum
// rounded on its own, whichever instruction set runs it. (The compiler's own
// widening of byte vectors to float is done element by element, hence the
// explicit versions.)
// (EstimateBlock, declared with the template view.)

void estimateBlockPlain(const std::uint8_t* origin, const std::int64_t* tapOffset, const float* tapWeight,
                        int taps, float* estimates) {
  float sum[kBlock] = {};
  for (int tap = 0; tap < taps; ++tap) {
    const std::uint8_t* at = origin + tapOffset[tap];
    const float weight = tapWeight[tap];
    for (int lane = 0; lane < kBlock; ++lane) sum[lane] += weight * static_cast<float>(at[lane]);
  }
  for (int lane = 0; lane < kBlock; ++lane) estimates[lane] = sum[lane];
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void estimateBlockAvx2(const std::uint8_t* origin,
                                                       const std::int64_t* tapOffset, const float* tapWeight,
                                                       int taps, float* estimates) {
  __m256 low = _mm256_setzero_ps(), high = _mm256_setzero_ps();
  for (int tap = 0; tap < taps; ++tap) {
    const std::uint8_t* at = origin + tapOffset[tap];
    const __m256 weight = _mm256_set1_ps(tapWeight[tap]);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m256 first = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
    const __m256 second = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8)));
    low = _mm256_add_ps(low, _mm256_mul_ps(weight, first));
    high = _mm256_add_ps(high, _mm256_mul_ps(weight, second));
  }
  _mm256_storeu_ps(estimates, low);
  _mm256_storeu_ps(estimates + 8, high);
}

// GCC 12 warns about an undefined vector inside its own AVX-512 headers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f"))) void estimateBlockAvx512(const std::uint8_t* origin,
                                                            const std::int64_t* tapOffset,
                                                            const float* tapWeight, int taps,
                                                            float* estimates) {
  __m512 sum = _mm512_setzero_ps();
  for (int tap = 0; tap < taps; ++tap) {
    const std::uint8_t* at = origin + tapOffset[tap];
    const __m512 weight = _mm512_set1_ps(tapWeight[tap]);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    sum = _mm512_add_ps(sum, _mm512_mul_ps(weight, _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(bytes))));
  }
  _mm512_storeu_ps(estimates, sum);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

EstimateBlock chooseEstimateBlock(EstimateCode code) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (code == EstimateCode::Widest && __builtin_cpu_supports("avx512f")) return estimateBlockAvx512;
  if (code != EstimateCode::Plain && __builtin_cpu_supports("avx2")) return estimateBlockAvx2;
#endif
  (void)code;
  return estimateBlockPlain;
}

struct Geometry {
  std::int64_t rowBegin = 0, rowEnd = 0;        // admissible rows
  std::int64_t columnBegin = 0, columnEnd = 0;  // admissible columns
};

// The admissible centres form a rectangle: each condition bounds the row or
// the column alone, monotonically.
Geometry admissibleRectangle(double radius, std::uint32_t width, std::uint32_t height) {
  Geometry g;
  const double w = static_cast<double>(width), h = static_cast<double>(height);
  g.rowBegin = height;
  for (std::int64_t i = 0; i < height; ++i) {
    const double row = static_cast<double>(i);
    if (row - radius >= 1.0 && row + radius <= h - 2.0) {
      if (g.rowBegin == height) g.rowBegin = i;
      g.rowEnd = i + 1;
    }
  }
  g.columnBegin = width;
  for (std::int64_t j = 0; j < width; ++j) {
    const double column = static_cast<double>(j);
    if (column + radius <= w - 2.0 && column - radius >= 1.0) {
      if (g.columnBegin == width) g.columnBegin = j;
      g.columnEnd = j + 1;
    }
  }
  if (g.rowBegin >= g.rowEnd || g.columnBegin >= g.columnEnd) g.rowBegin = g.rowEnd = 0;
  return g;
}

// The first accepted centre of row i at column >= start, or -1.
std::int64_t scanRow(const RadiusTables& t, const TemplateView& view, const std::uint8_t* gray,
                     std::uint32_t width, const Geometry& g, std::int64_t i, Candidate& c) {
  const std::uint8_t* rowStart = gray + i * static_cast<std::int64_t>(width);
  const bool blocks = g.columnEnd - g.columnBegin >= kBlock;
  float estimates[kBlock];
  bool alive[kBlock];
  for (std::int64_t j0 = g.columnBegin; j0 < g.columnEnd; j0 += kBlock) {
    // The last block is moved back to stay among admissible centres; the
    // centres it repeats are skipped.
    const std::int64_t start = blocks ? std::min(j0, g.columnEnd - kBlock) : j0;
    const std::int64_t stop = std::min(g.columnEnd, start + kBlock);
    int alives = 0;
    for (std::int64_t j = start; j < stop; ++j) {
      alive[j - start] = j >= j0 && view.centrePasses[rowStart[j]];
      alives += alive[j - start];
    }
    if (blocks) {
      // Ring by ring, the estimates of all sixteen centres at once while
      // enough of them are left to be worth it, then of each one left.
      for (int ring = 0; ring < kRingCount && alives > 0; ++ring) {
        if (ring == 0 || alives >= kBlock / 4) {
          const int first = t.tapBegin[ring];
          view.estimateBlock(rowStart + start, t.tapOffset + first, t.tapWeightFloat + first,
                             t.tapBegin[ring + 1] - first, estimates);
          const double limit = view.meanTolerance + t.marginFloat[ring];
          for (int lane = 0; lane < kBlock; ++lane) {
            if (alive[lane] &&
                std::fabs(static_cast<double>(estimates[lane]) - view.ringMean[ring]) > limit) {
              alive[lane] = false;
              --alives;
            }
          }
        } else {
          for (int lane = 0; lane < kBlock; ++lane) {
            if (alive[lane] && estimateRejects(t, view, rowStart + start + lane, ring)) {
              alive[lane] = false;
              --alives;
            }
          }
        }
      }
    } else {
      for (std::int64_t j = start; j < stop; ++j) {
        if (alive[j - start] && estimatesReject(t, view, rowStart + j, 0)) alive[j - start] = false;
      }
    }
    for (std::int64_t j = j0; j < stop; ++j) {
      if (alive[j - start] && acceptRingByRing(t, view, gray, width, i, j, c)) return j;
    }
  }
  return -1;
}

constexpr std::uint64_t kNoHit = std::numeric_limits<std::uint64_t>::max();

struct FirstHitJob {
  const RadiusTables* tables;
  const TemplateView* view;
  const std::uint8_t* gray;
  std::uint32_t width;
  Geometry geometry;
  Candidate* candidates;
  const std::atomic<bool>* abandon;
  std::atomic<std::uint32_t>* rowsDone;
  std::atomic<std::int64_t> nextChunk{0};
  // Row in the high half, column in the low half: the smallest key is the
  // first centre in raster order.
  std::atomic<std::uint64_t> firstHit{kNoHit};

  static std::int64_t rowOf(std::uint64_t key) {
    return key == kNoHit ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(key >> 32);
  }

  void operator()(unsigned lane) {
    Candidate& c = candidates[lane];
    for (;;) {
      const std::int64_t first = geometry.rowBegin + kChunkRows * nextChunk.fetch_add(1);
      if (first >= geometry.rowEnd || first > rowOf(firstHit.load())) return;
      if (abandon->load(std::memory_order_relaxed)) return;
      const std::int64_t last = std::min(geometry.rowEnd, first + kChunkRows);
      for (std::int64_t i = first; i < last; ++i) {
        // A row below a hit found elsewhere can't hold an earlier one.
        if (i > rowOf(firstHit.load()) || abandon->load(std::memory_order_relaxed)) return;
        const std::int64_t j = scanRow(*tables, *view, gray, width, geometry, i, c);
        rowsDone->fetch_add(1, std::memory_order_relaxed);
        if (j < 0) continue;
        const std::uint64_t key = (static_cast<std::uint64_t>(i) << 32) | static_cast<std::uint64_t>(j);
        lowerTo(firstHit, key);
        break;
      }
    }
  }
};

}  // namespace

struct FastScanMemory::Parts {
  explicit Parts(unsigned laneCount) : candidates(std::make_unique<Candidate[]>(laneCount)) {}
  std::mutex mutex;  // one scan of this memory at a time
  EstimateBlock estimateBlock = chooseEstimateBlock(EstimateCode::Widest);
  SampleRing sampleRing = chooseSampler(EstimateCode::Widest);
  RadiusTables tables;
  TemplateView view;
  std::unique_ptr<Candidate[]> candidates;
};

using ScanMemory = FastScanMemory::Parts;

FastScanMemory::FastScanMemory(unsigned lanes) : lanes_(lanes), parts_(std::make_unique<Parts>(lanes)) {}
FastScanMemory::~FastScanMemory() = default;

void useEstimateCode(FastScanMemory& scanMemory, EstimateCode code) {
  ScanMemory& memory = scanMemory.parts();
  std::lock_guard<std::mutex> lock(memory.mutex);
  memory.estimateBlock = chooseEstimateBlock(code);
  memory.sampleRing = chooseSampler(code);
}

bool testCandidateFast(Workspace& workspace, FastScanMemory& scanMemory, double row, double column,
                       double radius) {
  SearchState& state = workspace.state;
  if (!ringRadiusUsable(radius)) return 0;
  ScanMemory& memory = scanMemory.parts();
  std::lock_guard<std::mutex> lock(memory.mutex);
  prepareTables(memory.tables, radius, state.archiveWidth);
  prepareView(memory.view, state, memory.tables);
  memory.view.estimateBlock = memory.estimateBlock;
  memory.view.sampleRing = memory.sampleRing;
  Candidate& c = memory.candidates[0];
  const int passed = exactTest(memory.tables, memory.view, workspace.images.archiveGray.data(),
                               state.archiveWidth, row, column, c);
  if (passed) {
    state.candidateCentreValue = c.centreValue;
    for (int ring = 0; ring < kRingCount; ++ring) {
      state.ringSampleCount[ring] = c.count[ring];
      std::memcpy(state.candidateRingProfile[ring], c.profile[ring], sizeof(double) * c.count[ring]);
      std::memcpy(state.candidateRingHist[ring], c.hist[ring], sizeof c.hist[ring]);
      state.candidateRingMean[ring] = c.mean[ring];
    }
  }
  return passed;
}

bool scanArchiveImageFast(Workspace& workspace, FastScanMemory& scanMemory, WorkerPool& pool, double radius) {
  SearchState& state = workspace.state;
  const std::uint32_t width = state.archiveWidth;
  const std::uint32_t height = state.archiveHeight;
  state.matchFound = 0;
  if (!ringRadiusUsable(radius) || !fitsImageCapacity(width, height)) return 0;
  const Geometry geometry = admissibleRectangle(radius, width, height);
  if (geometry.rowBegin >= geometry.rowEnd) return 0;

  ScanMemory& memory = scanMemory.parts();
  std::lock_guard<std::mutex> lock(memory.mutex);
  RadiusTables& tables = memory.tables;
  TemplateView& view = memory.view;
  prepareTables(tables, radius, width);
  prepareView(view, state, tables);
  view.abandon = &workspace.abandonScan;
  view.estimateBlock = memory.estimateBlock;
  view.sampleRing = memory.sampleRing;
  const std::uint8_t* gray = workspace.images.archiveGray.data();

  // First acceptance, rows shared out in chunks.
  FirstHitJob job;
  job.tables = &tables;
  job.view = &view;
  job.gray = gray;
  job.width = width;
  job.geometry = geometry;
  job.candidates = memory.candidates.get();
  job.abandon = &workspace.abandonScan;
  job.rowsDone = &workspace.scanRowsDone;
  workspace.scanRowsDone = 0;
  workspace.scanRows = static_cast<std::uint32_t>(geometry.rowEnd - geometry.rowBegin);
  pool.run(job);
  const std::uint64_t hit = job.firstHit.load();
  if (hit == kNoHit || workspace.abandonScan.load()) return false;
  const std::int64_t firstRow = static_cast<std::int64_t>(hit >> 32);
  const std::int64_t firstColumn = static_cast<std::int64_t>(hit & 0xFFFFFFFFu);

  // The first hit again, on this thread, for its score and angle.
  Candidate& c = memory.candidates[0];
  accept(tables, view, gray, width, firstRow, firstColumn, c);
  state.matchFound = 1;
  double bestScore = matchScore(c.mean, view.ringMean);
  double consensus = c.consensusAngleDeg;
  std::int64_t bestRow = firstRow, bestColumn = firstColumn;

  // Refinement, as in the plain scan: window centred on the first hit, a
  // strictly lower score first, then the rotation estimate.
  for (std::int64_t k = firstRow - kRefinementRadius; k <= firstRow + kRefinementRadius; ++k) {
    for (std::int64_t l = firstColumn - kRefinementRadius; l <= firstColumn + kRefinementRadius; ++l) {
      // A centre can take long on a picture without texture.
      if (workspace.abandonScan.load(std::memory_order_relaxed)) {
        state.matchFound = 0;
        return false;
      }
      if (!inRefinementWindow(k - firstRow, l - firstColumn)) continue;
      const double row = static_cast<double>(k);
      const double column = static_cast<double>(l);
      if (!isAdmissibleCentre(row, column, radius, width, height)) continue;
      if (!view.centrePasses[gray[k * width + l]]) continue;
      if (estimatesReject(tables, view, gray + k * width + l, 0)) continue;
      if (!exactTest(tables, view, gray, width, row, column, c)) continue;
      const double score = matchScore(c.mean, view.ringMean);
      if (score < bestScore && alignAll(view, c) &&
          agreeOnAngle(c.count, c.angleDeg, c.angleStep, c.consensusAngleDeg)) {
        bestScore = score;
        bestRow = k;
        bestColumn = l;
        consensus = c.consensusAngleDeg;
      }
    }
  }

  for (int ring = 0; ring < kRingCount; ++ring) state.ringSampleCount[ring] = tables.count[ring];
  state.consensusAngleDeg = consensus;
  state.matchRadius = radius;
  state.matchY = static_cast<std::uint32_t>(bestRow);
  state.matchX = static_cast<std::uint32_t>(bestColumn);
  state.matchAngle = (state.consensusAngleDeg * kPi) / 180.0;
  return 1;
}

}  // namespace orvalis
