#include "matching/fastScanParts.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cmath>
#include <cstring>

#include "imaging/bilinearSampling.h"
#include "platform/targetClones.h"

namespace orvalis::fastscan {

namespace {

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

// The first ring's estimate for kBlock neighbouring centres at once, in float:
// lane l sums weight x pixel over the taps, tap k into the k mod 4th of four
// running sums, which end as (s0 + s1) + (s2 + s3); every product and sum
// rounded on its own, whichever instruction set runs it. Four chains of
// additions a quarter as long keep the adders busy, and the bound on the
// rounding (the margins) holds for any order of summation. (The compiler's
// own widening of byte vectors to float is done element by element, hence the
// explicit versions.)
void estimateBlockPlain(const std::uint8_t* origin, const std::int64_t* tapOffset, const float* tapWeight,
                        int taps, float* estimates) {
  float sum[4][kBlock] = {};
  for (int tap = 0; tap < taps; ++tap) {
    const std::uint8_t* at = origin + tapOffset[tap];
    const float weight = tapWeight[tap];
    float* into = sum[tap & 3];
    for (int lane = 0; lane < kBlock; ++lane) into[lane] += weight * static_cast<float>(at[lane]);
  }
  for (int lane = 0; lane < kBlock; ++lane) {
    estimates[lane] = (sum[0][lane] + sum[1][lane]) + (sum[2][lane] + sum[3][lane]);
  }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void estimateBlockAvx2(const std::uint8_t* origin,
                                                       const std::int64_t* tapOffset, const float* tapWeight,
                                                       int taps, float* estimates) {
  // Lanes 0-7 and 8-15 of sum k: low[k], high[k]; unrolled by hand, as an
  // indexed array of vectors would live in memory.
  __m256 low0 = _mm256_setzero_ps(), low1 = low0, low2 = low0, low3 = low0;
  __m256 high0 = low0, high1 = low0, high2 = low0, high3 = low0;
#define add(tap, low, high)                                                                               \
  do {                                                                                                    \
    const __m256 weight = _mm256_set1_ps(tapWeight[tap]);                                                 \
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(origin + tapOffset[tap]));     \
    low = _mm256_add_ps(low, _mm256_mul_ps(weight, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes))));     \
    high = _mm256_add_ps(                                                                                 \
        high, _mm256_mul_ps(weight, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8))))); \
  } while (false)
  int tap = 0;
  for (; tap + 4 <= taps; tap += 4) {
    add(tap, low0, high0);
    add(tap + 1, low1, high1);
    add(tap + 2, low2, high2);
    add(tap + 3, low3, high3);
  }
  if (tap < taps) add(tap, low0, high0);
  if (tap + 1 < taps) add(tap + 1, low1, high1);
  if (tap + 2 < taps) add(tap + 2, low2, high2);
  _mm256_storeu_ps(estimates, _mm256_add_ps(_mm256_add_ps(low0, low1), _mm256_add_ps(low2, low3)));
#undef add
  _mm256_storeu_ps(estimates + 8, _mm256_add_ps(_mm256_add_ps(high0, high1), _mm256_add_ps(high2, high3)));
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
  __m512 sum0 = _mm512_setzero_ps(), sum1 = sum0, sum2 = sum0, sum3 = sum0;
#define add(tap, sum)                                                                                 \
  do {                                                                                                \
    const __m512 weight = _mm512_set1_ps(tapWeight[tap]);                                             \
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(origin + tapOffset[tap])); \
    sum = _mm512_add_ps(sum, _mm512_mul_ps(weight, _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(bytes)))); \
  } while (false)
  int tap = 0;
  for (; tap + 4 <= taps; tap += 4) {
    add(tap, sum0);
    add(tap + 1, sum1);
    add(tap + 2, sum2);
    add(tap + 3, sum3);
  }
  if (tap < taps) add(tap, sum0);
  if (tap + 1 < taps) add(tap + 1, sum1);
  if (tap + 2 < taps) add(tap + 2, sum2);
#undef add
  _mm512_storeu_ps(estimates, _mm512_add_ps(_mm512_add_ps(sum0, sum1), _mm512_add_ps(sum2, sum3)));
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

}  // namespace

SampleRing chooseSampler(EstimateCode code) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (code != EstimateCode::Plain && __builtin_cpu_supports("avx2")) return sampleFromTablesAvx2;
#endif
  (void)code;
  return sampleFromTables;
}

EstimateBlock chooseEstimateBlock(EstimateCode code) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (code == EstimateCode::Widest && __builtin_cpu_supports("avx512f")) return estimateBlockAvx512;
  if (code != EstimateCode::Plain && __builtin_cpu_supports("avx2")) return estimateBlockAvx2;
#endif
  (void)code;
  return estimateBlockPlain;
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

}  // namespace orvalis::fastscan
