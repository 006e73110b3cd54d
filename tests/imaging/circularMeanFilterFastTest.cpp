// The fast circular mean filter against the plain one, byte for byte.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "imaging/circularMeanFilter.h"
#include "imaging/circularMeanFilterFast.h"
#include "state/constants.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Planes {
  Bytes b, g, r;
};

// Three channels of busy content: a smooth texture with noise on top, so that
// neighbouring disc sums differ and every rounding case turns up.
Planes busyPlanes(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  const testing::BgrPicture picture = testing::texturedPicture(width, height, seed, 3.0);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-40, 40);
  Planes p{Bytes(width * height), Bytes(width * height), Bytes(width * height)};
  for (std::size_t i = 0; i < p.b.size(); ++i) {
    const auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    p.b[i] = clamp(picture.pixels[3 * i] + noise(rng));
    p.g[i] = clamp(picture.pixels[3 * i + 1] + noise(rng));
    p.r[i] = clamp(picture.pixels[3 * i + 2] + noise(rng));
  }
  return p;
}

// Empty when the two filters agree, else the first differing byte.
std::string firstMismatch(const Planes& in, std::uint32_t width, std::uint32_t height, std::uint32_t radius,
                          const Bytes& mask, std::uint32_t count) {
  Planes plain{Bytes(in.b.size(), 1), Bytes(in.b.size(), 2), Bytes(in.b.size(), 3)};
  Planes fast{Bytes(in.b.size(), 4), Bytes(in.b.size(), 5), Bytes(in.b.size(), 6)};
  circularMeanFilter(in.b.data(), in.g.data(), in.r.data(), plain.b.data(), plain.g.data(), plain.r.data(),
                     width, height, radius, mask.data(), count);
  static WorkerPool pool(3);
  static FilterMemory memory(pool.lanes());
  circularMeanFilterFast(pool, memory, in.b.data(), in.g.data(), in.r.data(), fast.b.data(), fast.g.data(),
                         fast.r.data(), width, height, radius, mask.data(), count);
  const Bytes* expected[3] = {&plain.b, &plain.g, &plain.r};
  const Bytes* actual[3] = {&fast.b, &fast.g, &fast.r};
  for (int c = 0; c < 3; ++c) {
    for (std::size_t i = 0; i < in.b.size(); ++i) {
      if ((*expected[c])[i] != (*actual[c])[i]) {
        char text[160];
        std::snprintf(text, sizeof text, "channel %d row %zu column %zu: plain %d fast %d", c, i / width,
                      i % width, (*expected[c])[i], (*actual[c])[i]);
        return text;
      }
    }
  }
  return {};
}

Bytes discMask(std::uint32_t radius, std::uint32_t& count) {
  Bytes mask((2 * radius + 1) * (2 * radius + 1));
  buildDiscMask(radius, mask.data(), count);
  return mask;
}

TEST(CircularMeanFilterFast, SameBytesForEveryRadiusOnAwkwardSizes) {
  // Widths and heights around the disc size and the vector widths, never a
  // multiple of four where it can be avoided.
  const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {5, 3}, {37, 29}, {67, 45}, {131, 83}};
  for (std::uint32_t radius = 1; radius <= kMaxFilterRadius; ++radius) {
    std::uint32_t count = 0;
    const Bytes mask = discMask(radius, count);
    for (const auto& [width, height] : sizes) {
      const Planes in = busyPlanes(width, height, radius * 31 + width);
      const std::string mismatch = firstMismatch(in, width, height, radius, mask, count);
      EXPECT_EQ(mismatch, "") << "radius " << radius << ", " << width << " x " << height;
    }
  }
}

TEST(CircularMeanFilterFast, SameBytesAtTheFullDiscAroundTheSmallestInterior) {
  // 2R + 1 rows or columns: a single interior row or column; 2R: none.
  for (const std::uint32_t radius : {1u, 8u, 20u}) {
    std::uint32_t count = 0;
    const Bytes mask = discMask(radius, count);
    const std::uint32_t side = 2 * radius + 1;
    for (const auto& [width, height] :
         {std::pair{side, side}, {side - 1, 50u}, {50u, side - 1}, {side, 60u}}) {
      const Planes in = busyPlanes(width, height, width * height);
      EXPECT_EQ(firstMismatch(in, width, height, radius, mask, count), "")
          << "radius " << radius << ", " << width << " x " << height;
    }
  }
}

TEST(CircularMeanFilterFast, SameBytesAcrossTileBoundariesOfAWidePicture) {
  // Wider than one tile of output columns.
  std::uint32_t count = 0;
  const Bytes mask = discMask(20, count);
  const Planes in = busyPlanes(2150, 43, 5);
  EXPECT_EQ(firstMismatch(in, 2150, 43, 20, mask, count), "");
}

TEST(CircularMeanFilterFast, ExtremePlanesStayExact) {
  // All 255 gives the largest sums; a checkerboard of 0 and 255 puts every
  // disc sum on a multiple of 255.
  for (const std::uint32_t radius : {1u, 7u, 20u}) {
    std::uint32_t count = 0;
    const Bytes mask = discMask(radius, count);
    Planes in{Bytes(90 * 70, 255), Bytes(90 * 70), Bytes(90 * 70)};
    for (std::size_t i = 0; i < in.g.size(); ++i) {
      in.g[i] = ((i / 90 + i % 90) % 2) ? 255 : 0;
      in.r[i] = static_cast<std::uint8_t>(i * 7919);
    }
    EXPECT_EQ(firstMismatch(in, 90, 70, radius, mask, count), "") << "radius " << radius;
  }
}

TEST(CircularMeanFilterFast, RoundingMatchesTheDivisionForEverySumOfEveryDisc) {
  // Every sum a disc of radius 1..20 can hold.
  for (std::uint32_t radius = 1; radius <= kMaxFilterRadius; ++radius) {
    std::uint32_t count = 0;
    discMask(radius, count);
    ASSERT_EQ(count % 2, 1u);
    const double reciprocal = 1.0 / static_cast<double>(count);
    const double divisor = static_cast<double>(count);
    for (std::uint32_t sum = 0; sum <= 255 * count; ++sum) {
      const auto expected = static_cast<std::uint8_t>(std::floor(sum / divisor + 0.5));
      ASSERT_EQ(discMeanByte(sum, reciprocal), expected) << "radius " << radius << " sum " << sum;
    }
  }
}

TEST(CircularMeanFilterFast, MasksThatAreNotDiscsAreFilteredAsGiven) {
  // A ring (two runs in the middle rows) and a count that disagrees with the
  // ones: both go through the plain filter and so still agree with it.
  const std::uint32_t radius = 3;
  std::uint32_t count = 0;
  Bytes mask = discMask(radius, count);
  const Planes in = busyPlanes(40, 30, 9);
  mask[3 * 7 + 3] = 0;
  EXPECT_EQ(firstMismatch(in, 40, 30, radius, mask, count - 1), "");
  mask = discMask(radius, count);
  EXPECT_EQ(firstMismatch(in, 40, 30, radius, mask, count + 2), "");
}

}  // namespace
}  // namespace orvalis
