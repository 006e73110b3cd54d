// The fast scan against the plain one, to the last bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "files/loadJpeg.h"
#include "matching/archiveScan.h"
#include "matching/consensusReach.h"
#include "matching/fastScan.h"
#include "matching/rotationEstimate.h"
#include "tests/matching/matchingHelpers.h"
#include "tests/support/quarterTurn.h"

namespace orvalis {
namespace {

using testing::BgrPicture;
using testing::searchReport;

struct Params : testing::Setup {
  double scanRadius;
};

BgrPicture demoPhoto(const std::string& name) {
  const std::string path = std::string(ORVALIS_SOURCE_DIR) + "/demo/Image_Archive/" + name;
  auto image = std::make_unique<BgrImage>();
  BgrPicture picture;
  EXPECT_EQ(loadJpeg(path.c_str(), *image, picture.width, picture.height), 1) << path;
  picture.pixels.assign(image->data(), image->data() + std::size_t{3} * picture.width * picture.height);
  return picture;
}

// Each ring's annulus turned by its own quarters: ring k aligns at quarters[k] x 90.
BgrPicture turnedRings(const BgrPicture& picture, int row, int column, double radius, const int* quarters) {
  BgrPicture out = picture;
  for (int dy = -int(radius) - 3; dy <= int(radius) + 3; ++dy) {
    for (int dx = -int(radius) - 3; dx <= int(radius) + 3; ++dx) {
      const int ring =
          std::clamp(int(std::lround(std::hypot(dy, dx) * kRingCount / radius)) - 1, 0, kRingCount - 1);
      int sy = dy, sx = dx;
      for (int q = 0; q < quarters[ring]; ++q) sy = -std::exchange(sx, sy);
      std::memcpy(out.at(row + dy, column + dx),
                  picture.pixels.data() + 3 * (std::size_t(row + sy) * picture.width + column + sx), 3);
    }
  }
  return out;
}

TEST(FastScan, SameResultAsTheReference) {
  // Identical, turned and unrelated pictures, flat and ramp planes, large and
  // fractional radii, pictures without texture (every shift qualifies),
  // photographs, radii that find nothing; each estimate code in turn.
  using testing::pasteQuarterTurn;
  using testing::texturedPicture;
  const EstimateCode codes[] = {EstimateCode::Widest, EstimateCode::Avx2, EstimateCode::Plain};
  int k = 0;
  const auto same = [&](const std::string& what, const BgrPicture& query, const BgrPicture& archive,
                        const Params& c, int found) {  // found -1: either
    const std::string label = what + " (case " + std::to_string(k) + ")";
    auto plain = testing::preparedSearch(query, archive, c, Kernels::Reference);
    auto fast = testing::preparedSearch(query, archive, c, Kernels::Fast);
    useKernels(*fast, Kernels::Fast, 16);  // lanes that race to the first hit
    useEstimateCode(kernelMemory(*fast).scan, codes[k++ % 3]);
    const std::uint8_t* gray = plain->images.archiveGray.data();
    EXPECT_TRUE(
        std::equal(gray, gray + std::size_t{query.width} * query.height, fast->images.archiveGray.data()))
        << label << ": the gray planes differ";
    EXPECT_EQ(searchReport(*fast, c.scanRadius), searchReport(*plain, c.scanRadius)) << label;
    EXPECT_TRUE(found < 0 || plain->state.matchFound == found) << label;
  };
  std::mt19937 rng(129);
  for (std::uint32_t round = 0; round < 6; ++round) {
    const std::uint32_t width = 131 + 7 * round, height = 113 + 5 * round;
    const BgrPicture picture = texturedPicture(width, height, 40 + round, 1.0 + 0.4 * round);
    const std::uint32_t radius = 40 + rng() % 6, filter = 1 + rng() % 20;
    const auto tolerance = static_cast<std::uint8_t>(2 + 2 * (rng() % 20));
    const std::uint32_t x = width / 2 + rng() % 7, y = height / 2 - rng() % 5;
    same("identical", picture, picture, {filter, tolerance, x, y, radius, double(radius)}, 1);
    const Params unrelated{1 + 3 * round, std::uint8_t(2 + 7 * round + round % 2), 75, 64, 40, 40.0};
    same("unrelated", texturedPicture(150, 128, 200 + round), texturedPicture(150, 128, 300 + round),
         unrelated, -1);
  }
  const BgrPicture query = texturedPicture(170, 150, 77, 1.6), other = texturedPicture(170, 150, 78, 1.6);
  const BgrPicture quarter = pasteQuarterTurn(query, 75, 85, query, 75, 85, 75);
  for (const auto& [tolerance, filter] : {std::pair{8, 2u}, {24, 13u}}) {
    const Params c{filter, std::uint8_t(tolerance), 85, 75, 40, 40.0};
    same("quarter", query, quarter, c, -1);
    same("moved", query, pasteQuarterTurn(query, 75, 85, other, 80, 100, 50), c, -1);
    same("half", query, pasteQuarterTurn(quarter, 75, 85, quarter, 75, 85, 75), c, -1);
  }
  // Until ring 7 is aligned the consensus hangs on exactly as many agreeing
  // rings as it needs.
  const int quarters[kRingCount] = {1, 1, 0, 2, 3, 0, 1, 1, 1};
  const BgrPicture rings = texturedPicture(130, 120, 15, 1.5);
  same("turned rings", rings, turnedRings(rings, 60, 65, 45, quarters), {1, 24, 65, 60, 45, 45.0}, 1);
  const BgrPicture flat = testing::solidPicture(100, 92, 90, 100, 110);
  BgrPicture ramp = flat;
  for (std::uint32_t i = 0; i < 3 * 100 * 92; ++i)
    ramp.pixels[i] = std::uint8_t(80 + i / 3 % 100 / 7 + i / 300 / 11 + i % 3);
  for (const std::uint8_t tolerance : {std::uint8_t{2}, std::uint8_t{30}}) {
    same("flat", flat, flat, {5, tolerance, 50, 46, 40, 40.0}, 1);
    same("ramp", ramp, ramp, {5, tolerance, 50, 46, 40, 40.0}, 1);
    same("flat against ramp", flat, ramp, {5, tolerance, 50, 46, 40, 40.0}, -1);
  }
  const BgrPicture large = texturedPicture(505, 506, 12, 1.5), medium = texturedPicture(255, 250, 13, 1.5);
  const BgrPicture small = texturedPicture(130, 110, 14, 2.0), little = texturedPicture(90, 83, 3);
  same("radius 250", large, large, {8, 16, 252, 253, 250, 250.0}, 1);
  const BgrPicture mediumTurned = pasteQuarterTurn(medium, 125, 127, medium, 125, 127, 124);
  same("radius 120", medium, mediumTurned, {20, 24, 127, 125, 120, 120.0}, -1);
  same("fractional radius", small, small, {4, 20, 65, 55, 40, 40.5}, -1);
  for (const double radius : {0.0, 300.0, 41.0})
    same("no centre", little, little, {8, 16, 45, 41, 40, radius}, 0);
  using testing::LowTexture;
  for (const LowTexture kind : {LowTexture::Noise, LowTexture::BlurredNoise, LowTexture::DarkNoise}) {
    same("low texture", lowTexturePicture(kind, 128, 96, 1), lowTexturePicture(kind, 128, 96, 2),
         {8, 16, 64, 48, 16, 16.0}, kind == LowTexture::Noise ? 0 : 1);
  }
  // Image 4 holds the cat's eye turned by 40 degrees.
  const BgrPicture cat = demoPhoto("Current_Image.jpg");
  same("cat and its turned eye", cat, demoPhoto("Image_0000000004.jpg"), {8, 16, 226, 160, 60, 60.0}, 1);
  same("cat and astronaut", cat, demoPhoto("Image_0000000000.jpg"), {8, 16, 226, 160, 60, 60.0}, 0);
}

TEST(FastScan, EstimatesNeverRejectACentreOnTheEdgeOfTheMeanTolerance) {
  // The first admissible centre's own disc, each ring mean moved to the edge
  // of the tolerance: an estimate off by more than its margin rejects it.
  // Narrow rows use the double estimates alone, wide ones the float blocks.
  auto plain = testing::freshWorkspace(8, 8, Kernels::Reference), fast = testing::freshWorkspace(8, 8);
  const double meanTolerance = plain->state.colorTolerance * kMeanToleranceFactor;
  std::mt19937 rng(31);
  for (const double radius : {2.5, 6.0, 11.3, 20.0, 33.7, 47.0}) {
    const std::uint32_t side = 2 * static_cast<std::uint32_t>(std::ceil(radius)) + 3, height = side + 6;
    const double centre = std::ceil(radius + 1);
    for (const std::uint32_t width : {side + 4, side + 40}) {
      const BgrPicture texture = testing::texturedPicture(width, height, 9, 2.0);
      for (const char* kind : {"flat", "noise", "ramp", "texture"}) {
        testing::fillPlane(plain->images.archiveGray, width, height, [&](auto y, auto x) {
          return kind[0] == 'f'   ? 137u
                 : kind[0] == 'n' ? rng()
                 : kind[0] == 'r' ? 60 + 2 * x + y
                                  : texture.pixels[3 * (y * width + x) + 1];
        });
        std::copy_n(plain->images.archiveGray.data(), std::size_t{width} * height,
                    fast->images.archiveGray.data());
        plain->state.archiveWidth = width;
        plain->state.archiveHeight = height;
        for (const double direction : {1.0, -1.0}) {
          testing::templateFromArchive(*plain, centre, centre, radius);
          for (double& mean : plain->state.templateRingMean) {
            const double exact = mean, away = direction * 1e9;
            double edge = exact + direction * meanTolerance;
            while (std::fabs(exact - edge) > meanTolerance) edge = std::nextafter(edge, exact);
            while (std::fabs(exact - std::nextafter(edge, away)) <= meanTolerance)
              edge = std::nextafter(edge, away);
            mean = edge;
          }
          fast->state = plain->state;
          const std::string what =
              std::string(kind) + " " + std::to_string(radius) + " " + std::to_string(width);
          EXPECT_EQ(searchReport(*fast, radius), searchReport(*plain, radius)) << what << " " << direction;
          EXPECT_EQ(plain->state.matchFound, 1) << what << " " << direction;
        }
      }
    }
  }
}

TEST(ConsensusReach, EveryShiftThatKeepsTheConsensusPossibleIsMarked) {
  // A shift the fast scan leaves unmarked must leave the consensus
  // impossible, or a centre that agreeOnAngle would accept is given up.
  std::mt19937 rng(7);
  int marked = 0, possibleShifts = 0;
  for (const double radius : {40.0, 123.0, 250.0}) {
    std::uint32_t count[kRingCount];
    for (int ring = 0; ring < kRingCount; ++ring) count[ring] = ringSampleCountOf(ringRadius(ring, radius));
    const auto angleOf = [&](int ring, std::int64_t shift) {
      const std::int64_t n = count[ring];
      return shiftAngleDegrees(static_cast<std::uint32_t>(((shift % n) + n) % n), kFullTurn / count[ring]);
    };
    for (int trial = 0; trial < 300; ++trial) {
      const int ring = kTellingRings - 1 + trial % (kRingCount - kTellingRings);
      double angle[kRingCount] = {};
      // Inner angles anywhere, beside 0, or a few half steps from another's.
      for (int inner = 0; inner < ring; ++inner) {
        const std::int64_t n = count[inner];
        std::int64_t shift = static_cast<std::int64_t>(rng() % count[inner]);
        if (rng() % 4 == 0) shift = static_cast<std::int64_t>(rng() % 3) - 1;
        if (inner > 0 && rng() % 4 == 0) {
          const double near = angle[rng() % inner] + (static_cast<double>(rng() % 9) - 4.0) * 180.0 / n;
          shift = std::llround(near * n / 360.0);
        }
        angle[inner] = angleOf(inner, shift);
      }
      std::vector<std::uint8_t> decisive(count[ring], 2);
      if (!markDecisiveShifts(ring, count, angle, decisive.data())) continue;
      ++marked;
      for (std::uint32_t shift = 0; shift < count[ring]; ++shift) {
        angle[ring] = angleOf(ring, shift);
        if (!consensusPossible(ring + 1, count, angle)) continue;
        ++possibleShifts;
        ASSERT_EQ(decisive[shift], 1) << "radius " << radius << ", ring " << ring << ", shift " << shift
                                      << " keeps the consensus possible but is not marked";
      }
    }
  }
  // Not vacuous: many marked rings, each with shifts that matter.
  EXPECT_GT(marked, 500);
  EXPECT_GT(possibleShifts, 5 * marked);
}

}  // namespace
}  // namespace orvalis
