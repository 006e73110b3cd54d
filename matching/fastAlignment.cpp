#include "matching/fastAlignment.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "matching/rotationEstimate.h"
#include "platform/targetClones.h"
#include "state/constants.h"

namespace orvalis {

namespace {

// Shifts aligned together: four independent chains of additions, enough to
// keep the adder busy while each waits for its previous sum.
constexpr int kShiftLanes = static_cast<int>(kAlignLanes);
// Four doubles: as wide as AVX2 goes, which GCC then keeps in registers.
using Quad = double __attribute__((vector_size(32)));
using QuadMask = std::int64_t __attribute__((vector_size(32)));
constexpr int kQuads = kShiftLanes / 4;
// Eight 32-bit integers: the lanes of the integer bounds.
using Octet = std::int32_t __attribute__((vector_size(32)));

// For the kLive quads k of a group that have a shift to sum, adds
// |candidate[j] - partners[j + 4 quad[k] + lane]| to sum[k] lane for
// j = 0, 1, ..., each lane in the order of j, as the plain loop does, and
// marks in over the lanes with a difference past the tolerance (unless
// kCheckTolerance is false: the caller has proven that none can be). Stops
// early once every lane is out (over, or its running sum past best: running
// sums only grow). Returns the samples summed: count unless stopped early.
template <bool kCheckTolerance, int kLive>
[[gnu::always_inline]] inline std::uint32_t sumGroup(const double* candidate, const double* partners,
                                                     const int* quad, std::uint32_t count, double best,
                                                     double tolerance, Quad* sumOut, QuadMask* overOut) {
  // Local copies, which the compiler keeps in registers.
  const double* partner[kLive];
  Quad sum[kLive];
  QuadMask over[kLive];
  for (int q = 0; q < kLive; ++q) {
    partner[q] = partners + 4 * quad[q];
    sum[q] = sumOut[q];
    over[q] = overOut[q];
  }
  const Quad bestLanes = Quad{} + best;
  const Quad toleranceLanes = Quad{} + tolerance;
  const QuadMask magnitude = QuadMask{} + std::numeric_limits<std::int64_t>::max();
  std::uint32_t j = 0;
  while (j < count) {
    const std::uint32_t stop = std::min(count, j + 16);
    for (; j < stop; ++j) {
      const Quad mine = Quad{} + candidate[j];
      for (int q = 0; q < kLive; ++q) {
        Quad theirs;
        std::memcpy(&theirs, partner[q] + j, sizeof theirs);
        // |difference|: the sign bit cleared.
        const Quad d = reinterpret_cast<Quad>(reinterpret_cast<QuadMask>(mine - theirs) & magnitude);
        if constexpr (kCheckTolerance) over[q] |= d > toleranceLanes;
        sum[q] += d;
      }
    }
    QuadMask out = QuadMask{} - 1;
    for (int q = 0; q < kLive; ++q) out &= over[q] | (sum[q] > bestLanes);
    if ((out[0] & out[1] & out[2] & out[3]) != 0) break;
  }
  for (int q = 0; q < kLive; ++q) {
    sumOut[q] = sum[q];
    overOut[q] = over[q];
  }
  return j;
}

// sumGroup for live quads, their count known at compile time so that the sums
// stay in registers. Inlined, like sumGroup, into the alignment's builds for
// wide vectors.
template <bool kCheckTolerance>
[[gnu::always_inline]] inline std::uint32_t sumLiveQuads(int live, const double* candidate,
                                                         const double* partners, const int* quad,
                                                         std::uint32_t count, double best, double tolerance,
                                                         Quad* sum, QuadMask* over) {
  static_assert(kQuads == 4);
  switch (live) {
    case 1: return sumGroup<kCheckTolerance, 1>(candidate, partners, quad, count, best, tolerance, sum, over);
    case 2: return sumGroup<kCheckTolerance, 2>(candidate, partners, quad, count, best, tolerance, sum, over);
    case 3: return sumGroup<kCheckTolerance, 3>(candidate, partners, quad, count, best, tolerance, sum, over);
    default:
      return sumGroup<kCheckTolerance, 4>(candidate, partners, quad, count, best, tolerance, sum, over);
  }
}

// The bounds work on samples scaled by 1024 and truncated: each is then off
// by less than one unit, a block of b samples on each side by less than 2 b.
// Where the profiles' values lie close together, so that no sum of
// differences of a shift can pass 2^31 even scaled by 65536, they work on
// samples scaled by that: the truncation then loosens them 64 times less.
constexpr double kBoundScale = 1024.0;
constexpr double kCloseScale = 65536.0;
// count x the largest difference below this: scaled sums of a shift stay below
// 32000 x 65536 plus the truncation, under 2^31.
constexpr double kCloseReach = 32000.0;

// -1 for a value the bounds can't take (outside 0..255, or NaN).
std::int32_t scaledSample(double value, double scale) {
  return value >= 0.0 && value <= 255.0 ? static_cast<std::int32_t>(value * scale) : -1;
}

// Block lengths of the two bounds. The coarse one is made for every shift and
// costs count x count / block, so about as many blocks as samples in a block;
// the fine one only for shifts the coarse one keeps.
std::uint32_t coarseBlock(std::uint32_t count) {
  std::uint32_t block = 1;
  while (block * block * 4 < count && block < 256) block *= 2;
  return block;
}

std::uint32_t fineBlock(std::uint32_t count) {
  return std::min<std::uint32_t>(4, coarseBlock(count));
}

// Sums of block scaled samples from every start m < 2 count + kShiftLanes,
// into sums.
// False when a sample is out of the bounds' reach.
bool slidingSums(const double* profile, std::uint32_t count, std::uint32_t block, double scale,
                 std::int32_t* sums) {
  bool usable = true;
  std::int32_t sum = 0;
  for (std::uint32_t k = 0; k < block; ++k) {
    const std::int32_t v = scaledSample(profile[k % count], scale);
    usable = usable && v >= 0;
    sum += v;
  }
  for (std::uint32_t m = 0; m < 2 * count + kShiftLanes; ++m) {
    sums[m] = sum;
    const std::int32_t in = scaledSample(profile[(m + block) % count], scale);
    usable = usable && in >= 0;
    sum += in - scaledSample(profile[m % count], scale);
  }
  return usable;
}

// The sums of the candidate's whole blocks of fine and of coarse samples
// (coarse a multiple of fine), samples scaled as scaledSample does; for
// samples all in 0..255.
[[gnu::always_inline]] inline void scaledBlockSums(const double* profile, std::uint32_t count,
                                                   std::uint32_t fine, std::uint32_t coarse, double scale,
                                                   std::int32_t* fineSums, std::int32_t* coarseSums) {
  // Filled up to count below, and only those are read: no zeroing on the hot path.
  std::int32_t scaled[kMaxRingSamples];
  for (std::uint32_t i = 0; i < count; ++i) scaled[i] = static_cast<std::int32_t>(profile[i] * scale);
  for (std::uint32_t m = 0; m < count / fine; ++m) {
    std::int32_t sum = 0;
    // cppcheck-suppress uninitvar ; m * fine + k < count, all set above
    for (std::uint32_t k = 0; k < fine; ++k) sum += scaled[m * fine + k];
    fineSums[m] = sum;
  }
  // Integer sums: the same in any grouping.
  const std::uint32_t per = coarse / fine;
  for (std::uint32_t m = 0; m < count / coarse; ++m) {
    std::int32_t sum = 0;
    for (std::uint32_t k = 0; k < per; ++k) sum += fineSums[m * per + k];
    coarseSums[m] = sum;
  }
}

// The least and greatest of count values; false when one is outside 0..255
// (or NaN). Four lanes at a time: the least and the greatest are the same
// in any order.
[[gnu::always_inline]] inline bool valueRange(const double* values, std::uint32_t count, double& low,
                                              double& high) {
  Quad lows = Quad{} + 255.0, highs = Quad{};
  QuadMask out = QuadMask{};
  const Quad top = Quad{} + 255.0, bottom = Quad{};
  std::uint32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    Quad v;
    std::memcpy(&v, values + i, sizeof v);
    out |= ~((v >= bottom) & (v <= top));
    lows = v < lows ? v : lows;
    highs = v > highs ? v : highs;
  }
  int inRange = (out[0] | out[1] | out[2] | out[3]) == 0;
  low = std::min(std::min(lows[0], lows[1]), std::min(lows[2], lows[3]));
  high = std::max(std::max(highs[0], highs[1]), std::max(highs[2], highs[3]));
  for (; i < count; ++i) {
    const double v = values[i];
    inRange &= static_cast<int>(v >= 0.0) & static_cast<int>(v <= 255.0);
    low = v < low ? v : low;
    high = v > high ? v : high;
  }
  return inRange != 0;
}

}  // namespace

void layOutTemplate(const double* templateProfile, std::uint32_t count, double* twice,
                    std::int32_t* windowSums) {
  if (count == 0) return;
  for (std::uint32_t m = 0; m < 2 * count + kShiftLanes; ++m) twice[m] = templateProfile[m % count];
  const std::uint32_t length = 2 * count + kShiftLanes;
  const bool usable =
      slidingSums(templateProfile, count, coarseBlock(count), kBoundScale, windowSums) &&
      slidingSums(templateProfile, count, fineBlock(count), kBoundScale, windowSums + length) &&
      slidingSums(templateProfile, count, coarseBlock(count), kCloseScale, windowSums + 2 * length) &&
      slidingSums(templateProfile, count, fineBlock(count), kCloseScale, windowSums + 3 * length);
  // A negative first sum tells alignRingFast not to use the bounds.
  if (!usable) windowSums[0] = -1;
}

// The bound from blocks of b samples (blocks of them; the candidate's sums
// first, then the template's from the group's first shift on) for a group of
// kShiftLanes shifts: a lane whose bound proves it worse than the best (past
// limit) or whose widest term is past the reach gets start infinity. Lanes
// that start out stay out. Returns whether every lane is out.
// With kWidest false the caller has proven that no term can pass the reach.
template <bool kWidest>
[[gnu::always_inline]] inline bool boundGroup(const std::int32_t* candidateSums, std::uint32_t blocks,
                                              std::uint32_t b, const std::int32_t* templateSums,
                                              std::int32_t reach, double limit, double* start) {
  // Eight lanes a vector: wider ones GCC splits poorly.
  Octet bound[kShiftLanes / 8], widest[kShiftLanes / 8];
  for (int v = 0; v < kShiftLanes / 8; ++v) {
    bound[v] = Octet{} - static_cast<std::int32_t>(2 * blocks * b);
    widest[v] = Octet{};
  }
  // Terms are never negative, so a partial bound past the limit, or a
  // partial widest term past the reach, already rules a lane out: the group
  // is left once every lane is out.
  const std::int32_t limitWhole = limit >= 2147483647.0 ? std::numeric_limits<std::int32_t>::max()
                                                        : static_cast<std::int32_t>(std::floor(limit));
  std::int32_t startedOutLanes[kShiftLanes];
  for (int lane = 0; lane < kShiftLanes; ++lane) startedOutLanes[lane] = start[lane] != 0.0 ? -1 : 0;
  Octet startedOut[kShiftLanes / 8];
  // cppcheck-suppress uninitvar ; the loop above sets every lane
  std::memcpy(startedOut, startedOutLanes, sizeof startedOut);
  for (std::uint32_t m = 0; m < blocks; ++m) {
    for (int v = 0; v < kShiftLanes / 8; ++v) {
      Octet theirs;
      std::memcpy(&theirs, templateSums + m * b + 8 * v, sizeof theirs);
      const Octet d = candidateSums[m] - theirs;
      const Octet term = d < 0 ? -d : d;
      bound[v] += term;
      if constexpr (kWidest) widest[v] = widest[v] > term ? widest[v] : term;
    }
    if (m % 8 == 7) {
      Octet out = Octet{} - 1;
      for (int v = 0; v < kShiftLanes / 8; ++v)
        out &= startedOut[v] | (widest[v] > reach) | (bound[v] > limitWhole);
      bool groupOut = true;
      for (int lane = 0; lane < 8; ++lane) groupOut = groupOut && out[lane] != 0;
      if (groupOut) return true;
    }
  }
  bool allOut = true;
  for (int lane = 0; lane < kShiftLanes; ++lane) {
    if (static_cast<double>(bound[lane / 8][lane % 8]) > limit || widest[lane / 8][lane % 8] > reach)
      start[lane] = std::numeric_limits<double>::infinity();
    allOut = allOut && start[lane] != 0.0;
  }
  return allOut;
}

// The group with the lowest of lows (kNoGroup for none), where kNoGroup
// marks a group out.
constexpr std::int32_t kNoGroup = std::numeric_limits<std::int32_t>::max();

[[gnu::always_inline]] inline std::uint32_t lowestGroup(const std::int32_t* lows, std::uint32_t groups) {
  std::uint32_t at = groups;
  std::int32_t lowest = kNoGroup;
  for (std::uint32_t g = 0; g < groups; ++g) {
    if (lows[g] < lowest) {
      lowest = lows[g];
      at = g;
    }
  }
  return at;
}

namespace {

// What the bounds of one alignment work on: the candidate's block sums and
// the template's window sums, at the scale the profiles' values allow, and
// how wide a term of a qualifying shift can be.
struct BoundSetup {
  // No difference of any shift can pass the tolerance: rounding is monotonic,
  // so each rounded difference is at most the rounded extreme one.
  bool noneOver = false;
  std::uint32_t block = 0, fine = 0;         // samples in a coarse, a fine block
  std::uint32_t blocks = 0, fineBlocks = 0;  // 0: no bounds
  double scale = kBoundScale;
  const std::int32_t* templateCoarse = nullptr;
  const std::int32_t* templateFine = nullptr;
  std::int32_t coarseReach = 0, fineReach = 0;
  std::int32_t candidateCoarse[kMaxRingSamples];
  std::int32_t candidateFine[kMaxRingSamples];
};

// The bounds' set-up; none when a sample is out of their reach (or the
// template's is). The close scale where the profiles' values allow it.
[[gnu::always_inline]] inline void setUpBounds(const double* candidateProfile, std::uint32_t count,
                                               const double* templateTwice,
                                               const std::int32_t* templateWindowSums,
                                               std::uint8_t colorTolerance, BoundSetup& b) {
  double candidateLow = 0.0, candidateHigh = 0.0, templateLow = 0.0, templateHigh = 0.0;
  const bool candidateInRange = valueRange(candidateProfile, count, candidateLow, candidateHigh);
  const bool templateInRange = valueRange(templateTwice, count, templateLow, templateHigh);
  const double tolerance = colorTolerance;
  b.noneOver = candidateInRange && templateInRange && candidateHigh - templateLow <= tolerance &&
               templateHigh - candidateLow <= tolerance;
  b.block = coarseBlock(count);
  b.fine = fineBlock(count);
  b.blocks = templateWindowSums[0] >= 0 && candidateInRange ? count / b.block : 0;
  b.fineBlocks = b.blocks > 0 ? count / b.fine : 0;
  const double widestDifference = std::max(candidateHigh - templateLow, templateHigh - candidateLow);
  const bool close = b.blocks > 0 && static_cast<double>(count) * widestDifference < kCloseReach;
  b.scale = close ? kCloseScale : kBoundScale;
  const std::uint32_t length = 2 * count + kShiftLanes;
  b.templateCoarse = templateWindowSums + (close ? 2 * length : 0);
  b.templateFine = b.templateCoarse + length;
  if (b.blocks > 0)
    scaledBlockSums(candidateProfile, count, b.fine, b.block, b.scale, b.candidateFine, b.candidateCoarse);
  // A qualifying shift has no difference above the tolerance, so no block
  // term above reach(n) = scale x n x tolerance + 2 n + 1 (the 1 covers a
  // difference rounded down onto the tolerance): a shift with a wider term
  // can't qualify.
  const auto reach = [&](std::uint32_t n) {
    return static_cast<std::int32_t>(b.scale * n * colorTolerance) + static_cast<std::int32_t>(2 * n + 1);
  };
  b.coarseReach = reach(b.block);
  b.fineReach = reach(b.fine);
}

// The coarse bound and the widest term of every shift, and for each group of
// kShiftLanes shifts the lowest bound among those that may qualify (groupLow;
// kNoGroup where none may). Shifts in runs of kShiftLanes, one a group, whose
// sums stay in registers; a run is left once every shift in it has a term
// past the reach. Such a shift can't qualify, so its bound, left partial, is
// never looked at: widest alone rules it out. (The lanes of a last run past
// the last shift read sums of the layout's padding and the fine sums after
// it, and are never looked at either.)
[[gnu::always_inline]] inline void coarseBounds(const BoundSetup& b, std::uint32_t count, std::int32_t* bound,
                                                std::int32_t* widest, std::int32_t* groupLow) {
  const std::int32_t slack = static_cast<std::int32_t>(2 * b.blocks * b.block);
  for (std::uint32_t runStart = 0; runStart < count; runStart += kShiftLanes) {
    Octet runBound[kShiftLanes / 8], runWidest[kShiftLanes / 8], beyond[kShiftLanes / 8];
    for (int v = 0; v < kShiftLanes / 8; ++v) {
      const Octet shift = Octet{0, 1, 2, 3, 4, 5, 6, 7} + static_cast<std::int32_t>(runStart + 8 * v);
      beyond[v] = shift >= static_cast<std::int32_t>(count);
      runBound[v] = Octet{} - slack;
      runWidest[v] = Octet{};
    }
    // Where no difference can pass the tolerance, no term passes the reach:
    // the widest terms stay 0.
    for (std::uint32_t m = 0; b.noneOver && m < b.blocks; ++m) {
      const Octet mine = Octet{} + b.candidateCoarse[m];
      for (int v = 0; v < kShiftLanes / 8; ++v) {
        Octet theirs;
        std::memcpy(&theirs, b.templateCoarse + m * b.block + runStart + 8 * v, sizeof theirs);
        const Octet d = mine - theirs;
        runBound[v] += d < 0 ? -d : d;
      }
    }
    for (std::uint32_t m = 0; !b.noneOver && m < b.blocks; ++m) {
      const Octet mine = Octet{} + b.candidateCoarse[m];
      for (int v = 0; v < kShiftLanes / 8; ++v) {
        Octet theirs;
        std::memcpy(&theirs, b.templateCoarse + m * b.block + runStart + 8 * v, sizeof theirs);
        const Octet d = mine - theirs;
        const Octet term = d < 0 ? -d : d;
        runBound[v] += term;
        runWidest[v] = runWidest[v] > term ? runWidest[v] : term;
      }
      if (m % 4 == 3) {
        Octet out = Octet{} - 1;
        for (int v = 0; v < kShiftLanes / 8; ++v) out &= beyond[v] | (runWidest[v] > b.coarseReach);
        bool allOut = true;
        for (int lane = 0; lane < 8; ++lane) allOut = allOut && out[lane] != 0;
        if (allOut) break;
      }
    }
    std::memcpy(bound + runStart, runBound, sizeof runBound);
    std::memcpy(widest + runStart, runWidest, sizeof runWidest);
    Octet low = Octet{} + kNoGroup;
    for (int v = 0; v < kShiftLanes / 8; ++v) {
      const Octet out = beyond[v] | (runWidest[v] > b.coarseReach);
      low = out != 0 ? low : low < runBound[v] ? low : runBound[v];
    }
    std::int32_t lowest = kNoGroup;
    for (int lane = 0; lane < 8; ++lane) lowest = std::min(lowest, low[lane]);
    groupLow[runStart / kShiftLanes] = lowest;
  }
}

// groupLow over the decisive shifts alone.
[[gnu::always_inline]] inline void decisiveLows(const std::uint8_t* decisive, std::uint32_t count,
                                                const std::int32_t* bound, const std::int32_t* widest,
                                                std::int32_t coarseReach, std::int32_t* decisiveLow) {
  const std::uint32_t groups = (count + kShiftLanes - 1) / kShiftLanes;
  for (std::uint32_t g = 0; g < groups; ++g) {
    std::int32_t low = kNoGroup;
    for (std::uint32_t shift = g * kShiftLanes; shift < std::min(count, (g + 1) * kShiftLanes); ++shift) {
      if (decisive[shift] != 0 && widest[shift] <= coarseReach) low = std::min(low, bound[shift]);
    }
    decisiveLow[g] = low;
  }
}

// The best shift so far: the lowest sum, on equal sums the smaller shift.
struct BestShift {
  double sum = 4294967295.0;
  std::uint32_t shift = 0;
  bool any = false;  // some shift qualified
};

// Sums the group of shifts first .. first + kShiftLanes - 1 (only those in
// `only`, when given) that the bounds can't prove worse than the best (past
// limit), and takes the best of them into best. Lane l tries shift first + l.
// Lanes past the last shift, and shifts that a bound proves worse, start out:
// their sums start at infinity. Every lane sums all samples unless all are
// out; a lane is out once its largest difference passes the tolerance or its
// running sum passes the best (running sums only grow).
[[gnu::always_inline]] inline void sumShiftGroup(const BoundSetup& b, const double* candidateProfile,
                                                 std::uint32_t count, const double* templateTwice,
                                                 std::uint32_t first, const std::int32_t* bound,
                                                 const std::int32_t* widest, const std::uint8_t* only,
                                                 double limit, double tolerance, BestShift& best) {
  double start[kShiftLanes];
  bool allOut = true;
  for (int lane = 0; lane < kShiftLanes; ++lane) {
    const std::uint32_t shift = first + lane;
    const bool skip = shift >= count || static_cast<double>(bound[shift]) > limit ||
                      widest[shift] > b.coarseReach || (only != nullptr && only[shift] == 0);
    start[lane] = skip ? std::numeric_limits<double>::infinity() : 0.0;
    allOut = allOut && skip;
  }
  if (allOut) return;
  // The fine bound of the group's shifts.
  if (b.fineBlocks > 0 && (b.noneOver ? boundGroup<false>(b.candidateFine, b.fineBlocks, b.fine,
                                                          b.templateFine + first, b.fineReach, limit, start)
                                      : boundGroup<true>(b.candidateFine, b.fineBlocks, b.fine,
                                                         b.templateFine + first, b.fineReach, limit, start)))
    return;
  // Only the quads with a shift to sum are summed.
  int quad[kQuads];
  int live = 0;
  for (int q = 0; q < kQuads; ++q) {
    if (start[4 * q] == 0.0 || start[4 * q + 1] == 0.0 || start[4 * q + 2] == 0.0 || start[4 * q + 3] == 0.0)
      quad[live++] = q;
  }
  Quad sum[kQuads];
  for (int k = 0; k < live; ++k) std::memcpy(&sum[k], start + 4 * quad[k], sizeof sum[k]);
  QuadMask over[kQuads] = {};  // lanes with a difference past the tolerance
  const double* partners = templateTwice + first;
  const std::uint32_t j =
      b.noneOver
          ? sumLiveQuads<false>(live, candidateProfile, partners, quad, count, best.sum, tolerance, sum, over)
          : sumLiveQuads<true>(live, candidateProfile, partners, quad, count, best.sum, tolerance, sum, over);
  if (j < count) return;  // all out
  for (int k = 0; k < live * 4; ++k) {
    const double laneSum = sum[k / 4][k % 4];
    if (over[k / 4][k % 4] != 0 || laneSum == std::numeric_limits<double>::infinity()) continue;
    best.any = true;
    // The lowest sum wins, on equal sums the smaller shift, as when the
    // shifts are tried in order and only a strictly better one replaces.
    const std::uint32_t shift = first + 4 * quad[k / 4] + k % 4;
    if (laneSum < best.sum || (laneSum == best.sum && shift < best.shift)) {
      best.sum = laneSum;
      best.shift = shift;
    }
  }
}

}  // namespace

// Why skipping a shift by a bound is exact. Let D be the bound's integer: the
// sum over whole blocks B of |sum of scaled candidate samples - sum of scaled
// template samples| less 2 x (samples in whole blocks). Then D / scale is at
// most the exact sum of |candidate[j] - template[j + s]| (triangle inequality,
// truncation under one unit a sample). The plain loop's sum of n <= 5000
// rounded non-negative differences is at least (1 - 2^-40) times that exact
// sum. So D > best x scale x (1 + 2^-39) proves the shift's sum strictly above
// best: it can neither win nor tie. The integers stay below 2^31: a term is at
// most a block's scaled sum (at most 64 x 255 x 65536), all terms together at
// most 5000 x 255 x 1024 at scale 1024, and at the close scale at most 65536
// x count x the largest difference plus 2 count.
ORVALIS_TARGET_CLONES RingAlignment alignRingDecisive(const double* candidateProfile, std::uint32_t count,
                                                      const double* templateTwice,
                                                      const std::int32_t* templateWindowSums,
                                                      std::uint8_t colorTolerance,
                                                      const std::uint8_t* decisive, double& angleDeg) {
  if (count == 0) return RingAlignment::NoneQualifies;
  BoundSetup b;
  setUpBounds(candidateProfile, count, templateTwice, templateWindowSums, colorTolerance, b);
  std::int32_t bound[kMaxRingSamples + kShiftLanes];
  std::int32_t widest[kMaxRingSamples + kShiftLanes];
  // Groups of kShiftLanes shifts are taken in the order of their lowest
  // bound: a low best comes early, and once the lowest bound left proves its
  // group worse than the best, so does every group's left.
  const std::uint32_t groups = (count + kShiftLanes - 1) / kShiftLanes;
  std::int32_t groupLow[kMaxRingSamples / kShiftLanes + 1];
  coarseBounds(b, count, bound, widest, groupLow);
  std::int32_t decisiveLow[kMaxRingSamples / kShiftLanes + 1];
  if (decisive != nullptr) decisiveLows(decisive, count, bound, widest, b.coarseReach, decisiveLow);

  BestShift best;
  // With decisive shifts a first pass sums the group of the lowest bound
  // whole and then only the decisive shifts, from the lowest bound on: the
  // best so far rules most of them out by their bounds. If then the best is
  // not decisive, no decisive shift can be best; else a second pass sums all,
  // as without decisive shifts, and stops as soon as the best is not
  // decisive: every decisive shift has then been settled.
  const auto bestElsewhere = [&] { return decisive != nullptr && best.any && decisive[best.shift] == 0; };
  for (int pass = decisive != nullptr ? 0 : 1; pass < 2; ++pass) {
    if (pass == 1 && bestElsewhere()) return RingAlignment::BestElsewhere;
    for (bool firstGroup = true;; firstGroup = false) {
      const double limit = best.sum * b.scale * (1.0 + 1.0 / 549755813888.0);  // 2^-39
      const bool decisiveOnly = pass == 0 && !firstGroup;
      std::int32_t* lows = decisiveOnly ? decisiveLow : groupLow;
      const std::uint32_t g = lowestGroup(lows, groups);
      if (g == groups || static_cast<double>(lows[g]) > limit) break;
      lows[g] = kNoGroup;
      if (decisive != nullptr) decisiveLow[g] = kNoGroup;
      sumShiftGroup(b, candidateProfile, count, templateTwice, g * kShiftLanes, bound, widest,
                    decisiveOnly ? decisive : nullptr, limit, colorTolerance, best);
      if (pass == 1 && bestElsewhere()) return RingAlignment::BestElsewhere;
    }
  }
  if (!best.any) return RingAlignment::NoneQualifies;
  angleDeg = shiftAngleDegrees(best.shift, kFullTurn / count);
  return RingAlignment::Aligned;
}

bool alignRingFast(const double* candidateProfile, std::uint32_t count, const double* templateTwice,
                   const std::int32_t* templateWindowSums, std::uint8_t colorTolerance, double& angleDeg) {
  return alignRingDecisive(candidateProfile, count, templateTwice, templateWindowSums, colorTolerance,
                           nullptr, angleDeg) == RingAlignment::Aligned;
}

}  // namespace orvalis
