#include "matching/fastScan.h"

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
#include "matching/fastScanParts.h"
#include "matching/lightCompensation.h"
#include "matching/ringSignature.h"
#include "matching/rotationEstimate.h"
#include "platform/atomicMinimum.h"
#include "platform/workerPool.h"

namespace orvalis {

using namespace fastscan;

namespace {

// Rows handed to a lane at a time.
constexpr std::int64_t kChunkRows = 4;

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

// One ring of testCandidate: sampled, its histogram and mean made, both
// compared.
int testRing(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
             double row, double column, int ring, Candidate& c) {
  const std::uint32_t count = t.count[ring];
  c.count[ring] = count;
  view.sampleRing(gray, width, row, column, t.rowOffset[ring], t.columnOffset[ring], count, c.profile[ring]);
  histogramAndMean(count, c.profile[ring], c.hist[ring], c.mean[ring]);
  if (std::fabs(c.mean[ring] - view.ringMean[ring]) > view.meanTolerance) return 0;
  return histogramsTransportable(c.hist[ring], view.ringHist[ring], c.workA, c.workB, view.colorTolerance);
}

// testRing's verdict, for a caller that never looks at the ring's mean, with
// histogramAndQuickMean. The four-lane sum and the
// plain one each lie within (count - 1) u x 255 count of the exact sum
// (u = 2^-53), so their means lie within 2 x 5000 u x 255 < 3e-10 of each
// other, plus their rounding: only a mean within 1e-9 of the tolerance's edge
// needs the plain sum. The mean left in the record is then the four-lane one.
int testRingVerdict(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
                    double row, double column, int ring, Candidate& c) {
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

int lightTest(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
              double row, double column, Candidate& c);

// testCandidate, step for step, into a candidate record (testCandidateLight
// under other light).
int exactTest(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
              double row, double column, Candidate& c) {
  if (view.pass->light != nullptr) return lightTest(t, view, gray, width, row, column, c);
  c.centreValue = bilinearAt(gray, width, row, column);
  if (std::fabs(c.centreValue - view.centreValue) > view.colorTolerance) return 0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (!testRing(t, view, gray, width, row, column, ring, c)) return 0;
  }
  return 1;
}

// Under other light: true when no gain and offset in range keep the centre
// byte and the estimates of the rings up to `ring` (each within its margin) in
// their bands. The region holds the bands before `ring`'s, the centre's first.
// The exact means lie within the margins, so a centre rejected here fails the
// exact test's own feasibility.
bool lightRejects(const TemplateView& view, LightRegion& region, double estimate, int ring, double margin) {
  return !region.add({estimate, view.ringMean[ring], view.meanTolerance, margin});
}

// What the light screen keeps of one centre of a row between its rings.
struct LightLane {
  LightRegion region;
  double firstEstimate = 0, firstMargin = 0;
};

// lightRejects ring by ring for a centre of a row, behind the screen's two
// cheaper tests, which reject most centres: the region is clipped only for
// those that pass them.
bool lightLaneRejects(const TemplateView& view, LightLane& lane, std::uint8_t centre, double estimate,
                      double margin, int ring) {
  const LightScreen& screen = view.lightScreen;
  if (ring == 0) {
    lane.firstEstimate = estimate;
    lane.firstMargin = margin;
    return screen.firstRejects(centre, estimate, margin);
  }
  if (ring == 1) {
    if (screen.stepRejects(lane.firstEstimate, lane.firstMargin, estimate, margin)) return true;
    lane.region = screen.centreRegion(centre);
    if (lightRejects(view, lane.region, lane.firstEstimate, 0, lane.firstMargin)) return true;
  }
  return lightRejects(view, lane.region, estimate, ring, margin);
}

// testCandidateLight, step for step, into a candidate record.
int lightTest(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
              double row, double column, Candidate& c) {
  LightBand bands[kRingCount + 1];
  c.centreValue = bilinearAt(gray, width, row, column);
  bands[0] = {c.centreValue, view.centreValue, double(view.colorTolerance), 0.0};
  if (!lightFeasible(bands, 1)) return 0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (view.abandon != nullptr && view.abandon->load(std::memory_order_relaxed)) return 0;
    const std::uint32_t count = t.count[ring];
    c.count[ring] = count;
    view.sampleRing(gray, width, row, column, t.rowOffset[ring], t.columnOffset[ring], count,
                    c.profile[ring]);
    histogramAndMean(count, c.profile[ring], c.hist[ring], c.mean[ring]);
    bands[ring + 1] = {c.mean[ring], view.ringMean[ring], view.meanTolerance, 0.0};
    if (!lightFeasible(bands, ring + 2)) return 0;
  }
  return compensatedTests(*view.state, *view.pass->light, c.centreValue, c.profile, c.count, c.hist, c.mean,
                          c.workA, c.workB);
}

// The estimate of ring `ring`'s mean at the centre `origin` points to, in
// double: within marginDouble[ring] of the exact mean.
double ringEstimate(RadiusTables& t, const std::uint8_t* origin, int ring) {
  // Four running sums side by side: the bound on the rounding holds for any
  // order of summation, and the chain of additions is a quarter as long.
  double sum[4] = {0.0, 0.0, 0.0, 0.0};
  needRing(t, ring);
  const int end = t.tapEnd[ring];
  int tap = t.tapBegin[ring];
  for (; tap + 4 <= end; tap += 4) {
    for (int k = 0; k < 4; ++k) sum[k] += t.tapWeight[tap + k] * origin[t.tapOffset[tap + k]];
  }
  for (; tap < end; ++tap) sum[0] += t.tapWeight[tap] * origin[t.tapOffset[tap]];
  return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

// True when the estimate of ring `ring` proves that the exact mean test
// fails at the centre `origin` points to.
bool estimateRejects(RadiusTables& t, const TemplateView& view, const std::uint8_t* origin, int ring) {
  return std::fabs(ringEstimate(t, origin, ring) - view.ringMean[ring]) >
         view.meanTolerance + t.marginDouble[ring];
}

bool estimatesReject(RadiusTables& t, const TemplateView& view, const std::uint8_t* origin) {
  if (view.pass->light == nullptr) {
    for (int ring = 0; ring < kRingCount; ++ring) {
      if (estimateRejects(t, view, origin, ring)) return true;
    }
    return false;
  }
  LightLane lane;
  for (int ring = 0; ring < kRingCount; ++ring) {
    if (lightLaneRejects(view, lane, origin[0], ringEstimate(t, origin, ring), t.marginDouble[ring], ring))
      return true;
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
int accept(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
           std::int64_t row, std::int64_t column, Candidate& c) {
  return exactTest(t, view, gray, width, static_cast<double>(row), static_cast<double>(column), c) &&
                 alignAll(view, c) && agreeOnAngle(c.count, c.angleDeg, c.angleStep, c.consensusAngleDeg) &&
                 passTakesAngle(*view.pass, c.consensusAngleDeg)
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
int acceptRingByRing(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
                     std::int64_t row, std::int64_t column, Candidate& c) {
  if (view.pass->light != nullptr) return accept(t, view, gray, width, row, column, c);
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
  return agreeOnAngle(c.count, c.angleDeg, c.angleStep, c.consensusAngleDeg) &&
         passTakesAngle(*view.pass, c.consensusAngleDeg);
}

struct Geometry {
  std::int64_t rowBegin = 0, rowEnd = 0;        // admissible rows
  std::int64_t columnBegin = 0, columnEnd = 0;  // admissible columns
};

// The admissible centres form a rectangle: each half of the rule bounds the
// row or the column alone, monotonically.
Geometry admissibleRectangle(double radius, std::uint32_t width, std::uint32_t height) {
  Geometry g;
  g.rowBegin = height;
  for (std::int64_t i = 0; i < height; ++i) {
    if (isAdmissibleRow(static_cast<double>(i), radius, height)) {
      if (g.rowBegin == height) g.rowBegin = i;
      g.rowEnd = i + 1;
    }
  }
  g.columnBegin = width;
  for (std::int64_t j = 0; j < width; ++j) {
    if (isAdmissibleColumn(static_cast<double>(j), radius, width)) {
      if (g.columnBegin == width) g.columnBegin = j;
      g.columnEnd = j + 1;
    }
  }
  if (g.rowBegin >= g.rowEnd || g.columnBegin >= g.columnEnd) g.rowBegin = g.rowEnd = 0;
  return g;
}

// Whether a screen clears all sixteen centres from here.
bool blockCleared(const std::uint8_t* screen) {
  std::uint64_t half[2];
  std::memcpy(half, screen, sizeof half);
  return (half[0] | half[1]) == 0;
}

// The first accepted centre of row i at column >= from, or -1.
std::int64_t scanRow(RadiusTables& t, const TemplateView& view, const std::uint8_t* gray, std::uint32_t width,
                     const Geometry& admissible, std::int64_t i, std::int64_t from, Candidate& c) {
  const ScanPass& pass = *view.pass;
  const std::uint8_t* rowStart = gray + i * static_cast<std::int64_t>(width);
  // Behind a screen, only the columns between the row's first and last
  // marks; the centres beyond are known to fail.
  Geometry g = admissible;
  if (view.screenSpan != nullptr) {
    g.columnBegin = std::max<std::int64_t>(g.columnBegin, view.screenSpan[2 * i]);
    g.columnEnd = std::min<std::int64_t>(g.columnEnd, view.screenSpan[2 * i + 1]);
    if (g.columnBegin >= g.columnEnd) return -1;
  }
  const bool blocks = g.columnEnd - g.columnBegin >= kBlock;
  const std::uint8_t* screen = pass.screen != nullptr ? pass.screen + (rowStart - gray) : nullptr;
  float estimates[kBlock];
  bool alive[kBlock];
  // Under other light, what each centre's bands so far leave: all of them
  // together reject far more than any single ring's band.
  const bool light = pass.light != nullptr;
  LightLane lanes[kBlock];
  for (std::int64_t j0 = g.columnBegin; j0 < g.columnEnd; j0 += kBlock) {
    // The last block is moved back to stay among admissible centres; the
    // centres it repeats are skipped.
    const std::int64_t start = blocks ? std::min(j0, g.columnEnd - kBlock) : j0;
    const std::int64_t stop = std::min(g.columnEnd, start + kBlock);
    if (screen != nullptr && stop - start == kBlock && blockCleared(screen + start)) continue;
    int alives = 0;
    for (std::int64_t j = start; j < stop; ++j) {
      alive[j - start] = j >= j0 && j >= from && view.centrePasses[rowStart[j]] &&
                         (screen == nullptr || screen[j] != 0) &&
                         (pass.avoidCount == 0 || !passAvoids(pass, i, j, t.radius * t.scale));
      alives += alive[j - start];
    }
    if (blocks) {
      // Ring by ring, the estimates of all sixteen centres at once while
      // enough of them are left to be worth it, then of each one left.
      for (int ring = 0; ring < kRingCount && alives > 0; ++ring) {
        // Behind a screen, the few centres left are cheaper one by one.
        if ((ring == 0 && screen == nullptr) || alives >= kBlock / 4) {
          needRing(t, ring);
          const int first = t.tapBegin[ring];
          view.estimateBlock(rowStart + start, t.tapOffset + first, t.tapWeightFloat + first,
                             t.tapEnd[ring] - first, estimates);
          const double limit = view.meanTolerance + t.marginFloat[ring];
          for (int lane = 0; lane < kBlock; ++lane) {
            if (alive[lane] &&
                (light ? lightLaneRejects(view, lanes[lane], rowStart[start + lane], estimates[lane],
                                          t.marginFloat[ring], ring)
                       : std::fabs(static_cast<double>(estimates[lane]) - view.ringMean[ring]) > limit)) {
              alive[lane] = false;
              --alives;
            }
          }
        } else {
          for (int lane = 0; lane < kBlock; ++lane) {
            const std::uint8_t* origin = rowStart + start + lane;
            if (alive[lane] &&
                (light ? lightLaneRejects(view, lanes[lane], origin[0], ringEstimate(t, origin, ring),
                                          t.marginDouble[ring], ring)
                       : estimateRejects(t, view, origin, ring))) {
              alive[lane] = false;
              --alives;
            }
          }
        }
      }
    } else {
      for (std::int64_t j = start; j < stop; ++j) {
        if (alive[j - start] && estimatesReject(t, view, rowStart + j)) alive[j - start] = false;
      }
    }
    for (std::int64_t j = j0; j < stop; ++j) {
      if (alive[j - start] && acceptRingByRing(t, view, gray, width, i, j, c)) return j;
    }
  }
  return -1;
}

constexpr int kTile = 8;
// (w + 7)(h + 7) / 64 tiles, at most 15/64 of the pixels, plus 49/64.
constexpr std::size_t kTileCapacity = kPlaneCapacity / 4 + 1;

constexpr std::uint64_t kNoHit = std::numeric_limits<std::uint64_t>::max();

struct FirstHitJob {
  RadiusTables* tables;
  const TemplateView* view;
  const std::uint8_t* gray;
  std::uint32_t width;
  Geometry geometry;
  Candidate* candidates;
  const std::atomic<bool>* abandon;
  std::atomic<std::uint32_t>* rowsDone;
  std::int64_t startRow = 0, startColumn = 0;
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
      const std::int64_t first = std::max(geometry.rowBegin, startRow) + kChunkRows * nextChunk.fetch_add(1);
      if (first >= geometry.rowEnd || first > rowOf(firstHit.load())) return;
      if (abandon->load(std::memory_order_relaxed)) return;
      const std::int64_t last = std::min(geometry.rowEnd, first + kChunkRows);
      for (std::int64_t i = first; i < last; ++i) {
        // A row below a hit found elsewhere can't hold an earlier one.
        if (i > rowOf(firstHit.load()) || abandon->load(std::memory_order_relaxed)) return;
        const std::int64_t j =
            scanRow(*tables, *view, gray, width, geometry, i, i == startRow ? startColumn : 0, c);
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
  // cppcheck-suppress uninitMemberVar ; tables and view are filled per template before use
  explicit Parts(unsigned laneCount) : candidates(std::make_unique<Candidate[]>(laneCount)) {}
  std::mutex mutex;  // one scan of this memory at a time
  EstimateBlock estimateBlock = chooseEstimateBlock(EstimateCode::Widest);
  SampleRing sampleRing = chooseSampler(EstimateCode::Widest);
  RadiusTables tables;
  TemplateView view;
  std::unique_ptr<Candidate[]> candidates;
  // The scale screen and the steepest step between neighbouring pixels per
  // tile of kTile x kTile pixels, widened by the reach of the first ring.
  std::unique_ptr<std::uint8_t[]> screen = std::make_unique<std::uint8_t[]>(kPlaneCapacity);
  std::unique_ptr<std::uint8_t[]> steepest = std::make_unique<std::uint8_t[]>(kTileCapacity);
  std::unique_ptr<std::uint8_t[]> reach = std::make_unique<std::uint8_t[]>(kTileCapacity);
  std::uint32_t tileColumns = 0, tileRows = 0;
  // Per row of the screen, up to kSpanRows rows: its marks lie in columns
  // screenSpan[2 row] .. screenSpan[2 row + 1] - 1, so a scan skips the rest.
  static constexpr std::int64_t kSpanRows = 4096;
  std::unique_ptr<std::int32_t[]> screenSpan = std::make_unique<std::int32_t[]>(2 * kSpanRows);
  bool spansMade = false;
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

bool scanArchiveImageFast(Workspace& workspace, FastScanMemory& scanMemory, WorkerPool& pool, double radius) {
  PassHit passHit;
  return scanPassFast(workspace, scanMemory, pool, radius, ScanPass{}, passHit);
}

bool scanPassFast(Workspace& workspace, FastScanMemory& scanMemory, WorkerPool& pool, double radius,
                  const ScanPass& pass, PassHit& passHit) {
  SearchState& state = workspace.state;
  const std::uint32_t width = state.archiveWidth;
  const std::uint32_t height = state.archiveHeight;
  state.matchFound = 0;
  const double regionRadius = radius * pass.scale;
  if (!ringRadiusUsable(radius) || !ringRadiusUsable(regionRadius) || !fitsImageCapacity(width, height))
    return 0;
  const Geometry geometry = admissibleRectangle(regionRadius, width, height);
  if (geometry.rowBegin >= geometry.rowEnd) return 0;

  ScanMemory& memory = scanMemory.parts();
  std::lock_guard<std::mutex> lock(memory.mutex);
  RadiusTables& tables = memory.tables;
  TemplateView& view = memory.view;
  prepareTables(tables, radius, pass.scale, width);
  prepareView(view, state, tables);
  view.abandon = &workspace.abandonScan;
  view.pass = &pass;
  view.state = &state;
  view.screenSpan = pass.screen != nullptr && pass.screen == memory.screen.get() && memory.spansMade
                        ? memory.screenSpan.get()
                        : nullptr;
  if (pass.light != nullptr) {
    view.lightScreen.prepare(view.centreValue, view.colorTolerance, view.ringMean, view.meanTolerance);
    for (int value = 0; value < 256; ++value) {
      view.centrePasses[value] = view.lightScreen.centrePasses(static_cast<std::uint8_t>(value));
    }
  }
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
  job.startRow = pass.startRow;
  job.startColumn = pass.startColumn;
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

  // Refinement, as in the plain scan: a strictly lower score first, then the
  // rotation estimate.
  std::int64_t bestRow = 0, bestColumn = 0;
  const bool whole = refineAroundFirstHit(
      workspace, firstRow, firstColumn, regionRadius, width, height, bestScore, bestRow, bestColumn,
      [&](std::int64_t k, std::int64_t l, double& best) {
        if (passAvoids(pass, k, l, regionRadius)) return false;
        if (!view.centrePasses[gray[k * width + l]]) return false;
        if (estimatesReject(tables, view, gray + k * width + l)) return false;
        if (!exactTest(tables, view, gray, width, static_cast<double>(k), static_cast<double>(l), c))
          return false;
        const double score = matchScore(c.mean, view.ringMean);
        if (!(score < best && alignAll(view, c) &&
              agreeOnAngle(c.count, c.angleDeg, c.angleStep, c.consensusAngleDeg) &&
              passTakesAngle(pass, c.consensusAngleDeg))) {
          return false;
        }
        best = score;
        consensus = c.consensusAngleDeg;
        return true;
      });
  if (!whole) {
    state.matchFound = 0;
    return false;
  }

  for (int ring = 0; ring < kRingCount; ++ring) state.ringSampleCount[ring] = tables.count[ring];
  state.consensusAngleDeg = consensus;
  passHit.firstRow = firstRow;
  passHit.firstColumn = firstColumn;
  passHit.score = bestScore;
  return recordMatch(state, radius, bestRow, bestColumn);
}

namespace {

// Rows shared out one at a time, each to whichever lane asks first.
template <typename Row>
struct RowJob {
  std::int64_t begin = 0, end = 0;
  std::atomic<std::int64_t> next{0};
  Row row;
  void operator()(unsigned) {
    for (std::int64_t i = begin + next.fetch_add(1); i < end; i = begin + next.fetch_add(1)) row(i);
  }
};

template <typename Row>
void eachRow(WorkerPool& pool, std::int64_t begin, std::int64_t end, Row row) {
  RowJob<Row> job{begin, end, {0}, row};
  pool.run(job);
}

}  // namespace

void prepareScaleScreen(Workspace& workspace, FastScanMemory& scanMemory, WorkerPool& pool, double radius,
                        double largestScale) {
  ScanMemory& memory = scanMemory.parts();
  std::lock_guard<std::mutex> lock(memory.mutex);
  const SearchState& state = workspace.state;
  const std::uint32_t width = state.archiveWidth, height = state.archiveHeight;
  memory.tileColumns = memory.tileRows = 0;
  if (!fitsImageCapacity(width, height)) return;
  const std::uint8_t* gray = workspace.images.archiveGray.data();
  const std::uint32_t columns = (width + kTile - 1) / kTile, rows = (height + kTile - 1) / kTile;
  std::uint8_t* steepest = memory.steepest.get();
  // The largest step from a pixel to its right and lower neighbours, per tile.
  eachRow(pool, 0, rows, [&](std::int64_t ty) {
    for (std::uint32_t tx = 0; tx < columns; ++tx) steepest[ty * columns + tx] = 0;
    const std::uint32_t yEnd = std::min<std::uint32_t>(height, (ty + 1) * kTile);
    for (std::uint32_t y = ty * kTile; y < yEnd; ++y) {
      const std::uint8_t* line = gray + static_cast<std::size_t>(y) * width;
      const std::uint8_t* below = y + 1 < height ? line + width : line;
      for (std::uint32_t x = 0; x < width; ++x) {
        const int right = x + 1 < width ? std::abs(line[x + 1] - line[x]) : 0;
        const int step = std::max(right, std::abs(below[x] - line[x]));
        std::uint8_t& tile = steepest[ty * columns + x / kTile];
        tile = std::max<std::uint8_t>(tile, static_cast<std::uint8_t>(step));
      }
    }
  });
  // Widened by the tiles the first ring's cells can reach at the largest
  // scale: the cells around a sample at distance r span ceil(r) + 1 pixels.
  const int span = static_cast<int>(std::ceil(ringRadius(0, radius * largestScale))) + 1;
  const int tiles = (span + kTile - 1) / kTile;
  // The largest within `tiles` along one direction: lines of `length` tiles
  // `step` apart, `count` of them `across` apart.
  const auto widen = [tiles](const std::uint8_t* from, std::uint8_t* to, std::uint32_t count,
                             std::uint32_t across, std::uint32_t length, std::uint32_t step) {
    for (std::uint32_t line = 0; line < count; ++line) {
      for (std::uint32_t k = 0; k < length; ++k) {
        std::uint8_t most = 0;
        const std::uint32_t first = k > std::uint32_t(tiles) ? k - tiles : 0;
        const std::uint32_t last = std::min(length - 1, k + tiles);
        for (std::uint32_t m = first; m <= last; ++m) most = std::max(most, from[line * across + m * step]);
        to[line * across + k * step] = most;
      }
    }
  };
  widen(steepest, memory.reach.get(), rows, columns, columns, 1);
  widen(memory.reach.get(), steepest, columns, 1, rows, columns);
  memory.tileColumns = columns;
  memory.tileRows = rows;
}

const std::uint8_t* screenScales(Workspace& workspace, FastScanMemory& scanMemory, WorkerPool& pool,
                                 double radius, const double* scales, int count) {
  ScanMemory& memory = scanMemory.parts();
  std::lock_guard<std::mutex> lock(memory.mutex);
  const SearchState& state = workspace.state;
  const std::uint32_t width = state.archiveWidth, height = state.archiveHeight;
  if (count < 1 || memory.tileColumns != (width + kTile - 1) / kTile ||
      memory.tileRows != (height + kTile - 1) / kTile)
    return nullptr;
  double smallest = scales[0];
  for (int k = 0; k < count; ++k) {
    if (!ringRadiusUsable(radius * scales[k])) return nullptr;
    smallest = std::min(smallest, scales[k]);
  }
  const double middle = scales[count / 2];
  double moved = 0;
  for (int k = 0; k < count; ++k) {
    moved = std::max(moved, std::fabs(ringRadius(0, radius * scales[k]) - ringRadius(0, radius * middle)));
  }
  const Geometry g = admissibleRectangle(radius * smallest, width, height);
  if (g.rowBegin >= g.rowEnd || g.columnEnd - g.columnBegin < kBlock) return nullptr;
  RadiusTables& t = memory.tables;
  TemplateView& view = memory.view;
  prepareTables(t, radius, middle, width);
  prepareView(view, state, t);
  const EstimateBlock estimateBlock = memory.estimateBlock;
  const std::uint8_t* gray = workspace.images.archiveGray.data();
  std::uint8_t* screen = memory.screen.get();
  const std::uint8_t* steepest = memory.steepest.get();
  const std::uint32_t columns = memory.tileColumns;
  // Beyond the estimate's own margin: the plain means' rounding at the other
  // scales, with room to spare, and the move's bound, a hair wider.
  const double base = view.meanTolerance + t.marginFloat[0] + 1e-5;
  const double perStep = std::sqrt(2.0) * moved * (1.0 + 1e-9);
  const int taps = t.tapEnd[0];
  std::int32_t* spans = memory.screenSpan.get();
  memory.spansMade = g.rowEnd <= ScanMemory::kSpanRows;
  eachRow(pool, g.rowBegin, g.rowEnd, [&](std::int64_t i) {
    const std::uint8_t* rowStart = gray + i * static_cast<std::int64_t>(width);
    std::uint8_t* marks = screen + i * static_cast<std::int64_t>(width);
    std::int64_t first = g.columnEnd, last = g.columnBegin - 1;
    const std::uint8_t* tileRow = steepest + (i / kTile) * columns;
    float estimates[kBlock];
    for (std::int64_t j0 = g.columnBegin; j0 < g.columnEnd; j0 += kBlock) {
      const std::int64_t start = std::min(j0, g.columnEnd - kBlock);
      bool any = false;
      for (int lane = 0; lane < kBlock; ++lane) any = any || view.centrePasses[rowStart[start + lane]];
      if (!any) {
        std::memset(marks + start, 0, kBlock);
        continue;
      }
      estimateBlock(rowStart + start, t.tapOffset, t.tapWeightFloat, taps, estimates);
      for (int lane = 0; lane < kBlock; ++lane) {
        const std::int64_t j = start + lane;
        const double limit = base + perStep * tileRow[j / kTile];
        marks[j] = view.centrePasses[rowStart[j]] &&
                   !(std::fabs(static_cast<double>(estimates[lane]) - view.ringMean[0]) > limit);
        if (marks[j] != 0) {
          first = std::min(first, j);
          last = std::max(last, j);
        }
      }
    }
    if (i < ScanMemory::kSpanRows) {
      spans[2 * i] = static_cast<std::int32_t>(first);
      spans[2 * i + 1] = static_cast<std::int32_t>(last + 1);
    }
  });
  return screen;
}

}  // namespace orvalis
