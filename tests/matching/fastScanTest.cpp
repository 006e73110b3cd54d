// The fast scan and its pieces against the plain ones: the same results to
// the last bit, on generated pictures built to stop at every stage of the
// candidate test and to reach the alignment.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "files/loadJpeg.h"
#include "imaging/bilinearSampling.h"
#include "matching/archiveScan.h"
#include "matching/candidateTest.h"
#include "matching/fastScan.h"
#include "matching/ringSignature.h"
#include "matching/rotationEstimate.h"
#include "matching/searchSteps.h"
#include "tests/matching/matchingHelpers.h"
#include "tests/support/quarterTurn.h"

namespace orvalis {
namespace {

using testing::BgrPicture;

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Case {
  std::uint32_t filterRadius;
  std::uint8_t colorTolerance;
  std::uint32_t viewfinderX, viewfinderY, viewfinderRadius;
  double scanRadius;
};

std::string describe(const Case& c) {
  char text[160];
  std::snprintf(text, sizeof text, "filter %u tolerance %u viewfinder (%u, %u) radius %u, scan radius %.2f",
                c.filterRadius, c.colorTolerance, c.viewfinderX, c.viewfinderY, c.viewfinderRadius,
                c.scanRadius);
  return text;
}

// A workspace with the template built from the query and the archive filtered,
// with the given kernels throughout; the result fields hold stale values that
// a scan without a match must leave alone.
std::unique_ptr<Workspace> prepared(const BgrPicture& query, const BgrPicture& archive, const Case& c,
                                    Kernels kernels) {
  auto workspace = testing::freshWorkspace(query.width, query.height);
  workspace->kernels = kernels;
  SearchState& state = workspace->state;
  state.filterRadius = c.filterRadius;
  state.colorTolerance = c.colorTolerance;
  state.viewfinderX = c.viewfinderX;
  state.viewfinderY = c.viewfinderY;
  state.viewfinderRadius = c.viewfinderRadius;
  state.matchX = state.matchY = 3;
  state.matchAngle = 0.25;
  state.matchRadius = 9;
  state.consensusAngleDeg = 12.5;
  testing::splitIntoQuery(*workspace, query);
  testing::splitIntoArchive(*workspace, archive);
  EXPECT_EQ(buildTemplateSignature(*workspace), 1) << describe(c);
  EXPECT_EQ(buildTemplateHistograms(state), 1) << describe(c);
  EXPECT_EQ(filterArchiveImage(*workspace), 1) << describe(c);
  return workspace;
}

// Empty when both scans report the same, else what differs.
std::string compareScans(const BgrPicture& query, const BgrPicture& archive, const Case& c,
                         int* found = nullptr, EstimateCode code = EstimateCode::Widest) {
  auto plain = prepared(query, archive, c, Kernels::Reference);
  auto fast = prepared(query, archive, c, Kernels::Fast);
  useEstimateCode(kernelMemory(*fast).scan, code);
  const std::size_t plane = static_cast<std::size_t>(query.width) * query.height;
  for (std::size_t i = 0; i < plane; ++i) {
    if (plain->images.archiveGray[i] != fast->images.archiveGray[i] ||
        plain->images.queryGray[i] != fast->images.queryGray[i]) {
      return "gray planes differ at row " + std::to_string(i / query.width) + " column " +
             std::to_string(i % query.width);
    }
  }
  const int plainFound = scanArchiveImage(*plain, c.scanRadius);
  const int fastFound = scanArchiveImage(*fast, c.scanRadius);
  if (found) *found = plainFound;
  const SearchState& p = plain->state;
  const SearchState& f = fast->state;
  char text[400];
  std::snprintf(text, sizeof text,
                "plain: found %d at (%u, %u) radius %.17g angle %.17g consensus %.17g; "
                "fast: found %d at (%u, %u) radius %.17g angle %.17g consensus %.17g",
                plainFound, p.matchY, p.matchX, p.matchRadius, p.matchAngle, p.consensusAngleDeg, fastFound,
                f.matchY, f.matchX, f.matchRadius, f.matchAngle, f.consensusAngleDeg);
  const bool same = plainFound == fastFound && p.matchFound == f.matchFound && p.matchX == f.matchX &&
                    p.matchY == f.matchY && sameBits(p.matchRadius, f.matchRadius) &&
                    sameBits(p.matchAngle, f.matchAngle) &&
                    sameBits(p.consensusAngleDeg, f.consensusAngleDeg);
  return same ? std::string() : text;
}

BgrPicture turnedHalf(const BgrPicture& picture, std::uint32_t row, std::uint32_t column,
                      std::uint32_t half) {
  const BgrPicture once = testing::pasteQuarterTurn(picture, row, column, picture, row, column, half);
  return testing::pasteQuarterTurn(once, row, column, once, row, column, half);
}

TEST(FastScan, SameResultOnIdenticalPicturesAcrossParameters) {
  // Archive = query: every stage passes at the viewfinder, and centres near
  // it reach the alignment and the refinement.
  std::mt19937 rng(129);
  for (int round = 0; round < 6; ++round) {
    const std::uint32_t width = 131 + 7 * round, height = 113 + 5 * round;
    const BgrPicture picture = testing::texturedPicture(width, height, 40 + round, 1.0 + 0.4 * round);
    const std::uint32_t radius = 40 + static_cast<std::uint32_t>(rng() % 6);
    const Case c{1 + static_cast<std::uint32_t>(rng() % 20),
                 static_cast<std::uint8_t>(2 + 2 * (rng() % 20)),
                 width / 2 + static_cast<std::uint32_t>(rng() % 7),
                 height / 2 - static_cast<std::uint32_t>(rng() % 5),
                 radius,
                 static_cast<double>(radius)};
    int found = 0;
    EXPECT_EQ(compareScans(picture, picture, c, &found), "") << describe(c);
    EXPECT_EQ(found, 1) << describe(c);
  }
}

TEST(FastScan, SameResultOnTurnedRegions) {
  // The viewfinder region planted turned by 90 and by 180 degrees, at the
  // viewfinder and elsewhere.
  const std::uint32_t width = 170, height = 150;
  const BgrPicture query = testing::texturedPicture(width, height, 77, 1.6);
  const BgrPicture background = testing::texturedPicture(width, height, 78, 1.6);
  const BgrPicture quarter = testing::pasteQuarterTurn(query, 75, 85, query, 75, 85, 75);
  const BgrPicture moved = testing::pasteQuarterTurn(query, 75, 85, background, 80, 100, 50);
  const BgrPicture half = turnedHalf(query, 75, 85, 75);
  int matches = 0;
  for (const std::uint8_t tolerance : {std::uint8_t{8}, std::uint8_t{24}}) {
    for (const std::uint32_t filter : {2u, 13u}) {
      const Case c{filter, tolerance, 85, 75, 40, 40.0};
      int found = 0;
      EXPECT_EQ(compareScans(query, quarter, c, &found), "") << "quarter, " << describe(c);
      matches += found;
      EXPECT_EQ(compareScans(query, moved, c, &found), "") << "moved, " << describe(c);
      matches += found;
      EXPECT_EQ(compareScans(query, half, c, &found), "") << "half, " << describe(c);
      matches += found;
    }
  }
  std::printf("[ turned   ] %d of 12 scans found the planted region\n", matches);
  EXPECT_GE(matches, 6);
}

TEST(FastScan, SameResultWithoutAMatch) {
  // Unrelated textures, from tight to loose tolerances: most centres stop at
  // the centre value or the first rings, some get further.
  for (std::uint32_t seed = 0; seed < 6; ++seed) {
    const BgrPicture query = testing::texturedPicture(150, 128, 200 + seed);
    const BgrPicture archive = testing::texturedPicture(150, 128, 300 + seed);
    const Case c{1 + 3 * seed, static_cast<std::uint8_t>(2 + 7 * seed + (seed % 2)), 75, 64, 40, 40.0};
    EXPECT_EQ(compareScans(query, archive, c), "") << describe(c);
  }
}

TEST(FastScan, SameResultOnFlatAndNearlyFlatPictures) {
  // Flat planes put every ring mean on the tolerance's edge or exactly on
  // the template's, where the estimates must not decide alone.
  const BgrPicture flat = testing::solidPicture(100, 92, 90, 100, 110);
  BgrPicture ramp = flat;
  for (std::uint32_t y = 0; y < ramp.height; ++y) {
    for (std::uint32_t x = 0; x < ramp.width; ++x) {
      for (int ch = 0; ch < 3; ++ch) ramp.at(y, x)[ch] = static_cast<std::uint8_t>(80 + x / 7 + y / 11 + ch);
    }
  }
  for (const std::uint8_t tolerance : {std::uint8_t{2}, std::uint8_t{30}}) {
    const Case c{5, tolerance, 50, 46, 40, 40.0};
    EXPECT_EQ(compareScans(flat, flat, c), "") << "flat, " << describe(c);
    EXPECT_EQ(compareScans(ramp, ramp, c), "") << "ramp, " << describe(c);
    EXPECT_EQ(compareScans(flat, ramp, c), "") << "flat against ramp, " << describe(c);
  }
}

TEST(FastScan, SameResultForLargeAndFractionalRadii) {
  // Radius 250 on a picture with few admissible centres, 120 and a
  // fractional scan radius on small ones.
  {
    const BgrPicture picture = testing::texturedPicture(505, 506, 12, 1.5);
    const Case c{8, 16, 252, 253, 250, 250.0};
    int found = 0;
    EXPECT_EQ(compareScans(picture, picture, c, &found), "") << describe(c);
    EXPECT_EQ(found, 1);
  }
  {
    const BgrPicture picture = testing::texturedPicture(255, 250, 13, 1.5);
    const BgrPicture turned = testing::pasteQuarterTurn(picture, 125, 127, picture, 125, 127, 124);
    const Case c{20, 24, 127, 125, 120, 120.0};
    EXPECT_EQ(compareScans(picture, turned, c), "") << describe(c);
  }
  {
    const BgrPicture picture = testing::texturedPicture(130, 110, 14, 2.0);
    const Case c{4, 20, 65, 55, 40, 40.5};
    EXPECT_EQ(compareScans(picture, picture, c), "") << describe(c);
  }
}

TEST(FastScan, SameResultWithEveryEstimateCode) {
  // The narrower codes the processor may lack fall back to plain code.
  const BgrPicture query = testing::texturedPicture(150, 128, 61, 1.3);
  const BgrPicture unrelated = testing::texturedPicture(150, 128, 62, 1.3);
  const BgrPicture turned = testing::pasteQuarterTurn(query, 64, 75, unrelated, 64, 75, 55);
  for (const EstimateCode code : {EstimateCode::Plain, EstimateCode::Avx2, EstimateCode::Widest}) {
    for (const std::uint8_t tolerance : {std::uint8_t{10}, std::uint8_t{36}}) {
      const Case c{7, tolerance, 75, 64, 40, 40.0};
      int found = 0;
      EXPECT_EQ(compareScans(query, turned, c, &found, code), "")
          << static_cast<int>(code) << ", " << describe(c);
      EXPECT_EQ(found, 1) << describe(c);
      EXPECT_EQ(compareScans(query, unrelated, c, nullptr, code), "")
          << static_cast<int>(code) << ", " << describe(c);
    }
  }
}

BgrPicture demoPhoto(const std::string& name) {
  const std::string path = std::string(ORVALIS_SOURCE_DIR) + "/demo/Image_Archive/" + name;
  auto image = std::make_unique<BgrImage>();
  BgrPicture picture;
  EXPECT_EQ(loadJpeg(path.c_str(), *image, picture.width, picture.height), 1) << path;
  picture.pixels.assign(image->data(), image->data() + std::size_t{3} * picture.width * picture.height);
  return picture;
}

BgrPicture crop(const BgrPicture& picture, std::uint32_t top, std::uint32_t left, std::uint32_t width,
                std::uint32_t height) {
  BgrPicture out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* from =
        picture.pixels.data() + 3 * ((static_cast<std::size_t>(top) + y) * picture.width + left);
    std::memcpy(out.at(y, 0), from, 3 * static_cast<std::size_t>(width));
  }
  return out;
}

TEST(FastScan, SameResultWithoutTextureAndOnPhotographs) {
  // Pictures on which nearly every centre passes the candidate test and every
  // shift of a ring qualifies, so that the fast alignment's bounds and its
  // early end of a centre decide nearly everything; then photographs. The
  // plain scan's time limits the sizes: it spends seconds on 320 x 240 with
  // noise and far longer with blurred or dark noise.
  using testing::LowTexture;
  using testing::lowTexturePicture;
  const BgrPicture cat = demoPhoto("Current_Image.jpg");
  const BgrPicture astronaut = demoPhoto("Image_0000000000.jpg");
  const BgrPicture planted = demoPhoto("Image_0000000004.jpg");  // the cat's eye turned by 40 degrees
  const BgrPicture catCrop = crop(cat, 100, 166, 120, 120),
                   astronautCrop = crop(astronaut, 140, 240, 120, 120);
  const struct {
    const char* what;
    BgrPicture query, archive;
    Case c;
    int found;
  } cases[] = {
      {"noise",
       lowTexturePicture(LowTexture::Noise, 200, 150, 1),
       lowTexturePicture(LowTexture::Noise, 200, 150, 2),
       {8, 16, 100, 75, 25, 25.0},
       0},
      {"blurred noise",
       lowTexturePicture(LowTexture::BlurredNoise, 128, 96, 1),
       lowTexturePicture(LowTexture::BlurredNoise, 128, 96, 2),
       {8, 16, 64, 48, 16, 16.0},
       1},
      {"dark noise",
       lowTexturePicture(LowTexture::DarkNoise, 128, 96, 1),
       lowTexturePicture(LowTexture::DarkNoise, 128, 96, 2),
       {8, 16, 64, 48, 16, 16.0},
       1},
      {"cat and astronaut at tolerance 255", catCrop, astronautCrop, {8, 255, 60, 60, 20, 20.0}, 1},
      {"cat and its turned eye", cat, planted, {8, 16, 226, 160, 60, 60.0}, 1},
      {"cat and astronaut", cat, astronaut, {8, 16, 226, 160, 60, 60.0}, 0},
  };
  for (const auto& k : cases) {
    int found = -1;
    EXPECT_EQ(compareScans(k.query, k.archive, k.c, &found), "") << k.what << ", " << describe(k.c);
    EXPECT_EQ(found, k.found) << k.what;
  }
}

TEST(FastScan, UnusableRadiusAndTooSmallPictureFindNothing) {
  const BgrPicture picture = testing::texturedPicture(90, 83, 3);
  for (const double radius : {0.0, 300.0, 41.0}) {
    const Case c{8, 16, 45, 41, 40, radius};
    int found = 1;
    EXPECT_EQ(compareScans(picture, picture, c, &found), "") << describe(c);
    EXPECT_EQ(found, 0) << describe(c);
  }
}

TEST(TestCandidateFast, SameVerdictAndSignatureAtEveryCentre) {
  const BgrPicture query = testing::texturedPicture(120, 110, 51, 1.2);
  const BgrPicture archive = testing::pasteQuarterTurn(query, 55, 60, query, 55, 60, 55);
  const Case c{6, 30, 60, 55, 40, 40.0};
  auto plain = prepared(query, archive, c, Kernels::Reference);
  auto fast = prepared(query, archive, c, Kernels::Fast);
  int passes = 0;
  for (std::uint32_t row = 41; row <= 110 - 2 - 40; ++row) {
    for (std::uint32_t column = 41; column <= 120 - 2 - 40; ++column) {
      const int expected = testCandidate(*plain, row, column, 40);
      ASSERT_EQ(testCandidateFast(*fast, kernelMemory(*fast).scan, row, column, 40), expected)
          << "row " << row << " column " << column;
      if (!expected) continue;
      ++passes;
      const SearchState& p = plain->state;
      const SearchState& f = fast->state;
      ASSERT_TRUE(sameBits(p.candidateCentreValue, f.candidateCentreValue));
      for (int ring = 0; ring < kRingCount; ++ring) {
        ASSERT_EQ(p.ringSampleCount[ring], f.ringSampleCount[ring]);
        ASSERT_EQ(std::memcmp(p.candidateRingProfile[ring], f.candidateRingProfile[ring],
                              sizeof(double) * p.ringSampleCount[ring]),
                  0)
            << "ring " << ring << " at row " << row << " column " << column;
        ASSERT_EQ(std::memcmp(p.candidateRingHist[ring], f.candidateRingHist[ring],
                              sizeof p.candidateRingHist[ring]),
                  0);
        ASSERT_TRUE(sameBits(p.candidateRingMean[ring], f.candidateRingMean[ring]));
      }
    }
  }
  EXPECT_GT(passes, 0) << "no centre reached the end of the test";
}

// Aligns with both and compares verdict and angle.
void expectSameAlignment(const std::vector<double>& candidate, const std::vector<double>& templateProfile,
                         std::uint8_t tolerance, const std::string& what) {
  const std::uint32_t n = static_cast<std::uint32_t>(candidate.size());
  std::vector<double> twice(2 * n + kAlignLanes);
  std::vector<std::int32_t> windowSums(4 * n + 2 * kAlignLanes);
  layOutTemplate(templateProfile.data(), n, twice.data(), windowSums.data());
  double plainAngle = -1, fastAngle = -1;
  const int plain = alignRing(candidate.data(), n, templateProfile.data(), tolerance, plainAngle);
  const int fast = alignRingFast(candidate.data(), n, twice.data(), windowSums.data(), tolerance, fastAngle);
  EXPECT_EQ(fast, plain) << what;
  EXPECT_TRUE(sameBits(fastAngle, plainAngle)) << what << ": plain " << plainAngle << " fast " << fastAngle;
}

TEST(AlignRingFast, SameShiftAndAngleAsOneShiftAtATime) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> jitter(-3.0, 3.0);
  for (const std::uint32_t n : {1u, 2u, 7u, 8u, 9u, 15u, 88u, 222u, 800u}) {
    std::vector<double> templateProfile(n), candidate(n);
    for (std::uint32_t i = 0; i < n; ++i) templateProfile[i] = 128 + 100 * std::sin(i * 6.283185307 / n * 3);
    for (const std::uint32_t shift : {0u, n / 3, n - 1}) {
      for (std::uint32_t j = 0; j < n; ++j) candidate[j] = templateProfile[(j + shift) % n] + jitter(rng);
      for (const std::uint8_t tolerance : {std::uint8_t{2}, std::uint8_t{4}, std::uint8_t{40}}) {
        expectSameAlignment(candidate, templateProfile, tolerance,
                            "n " + std::to_string(n) + " shift " + std::to_string(shift) + " tolerance " +
                                std::to_string(tolerance));
      }
    }
  }
}

TEST(AlignRingFast, TiesKeepTheEarliestShiftAndFailuresAreReported) {
  // Constant profiles: every shift qualifies with the sum 0, shift 0 wins.
  expectSameAlignment(std::vector<double>(100, 50.0), std::vector<double>(100, 50.0), 2, "constant");
  // A two-valued pattern with period 10: shifts 0, 10, 20, ... tie.
  std::vector<double> pattern(60);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = (i % 10) < 5 ? 10.0 : 200.0;
  expectSameAlignment(pattern, pattern, 16, "periodic");
  // One sample off by tolerance + 1 at every shift: nothing qualifies.
  std::vector<double> off(pattern);
  for (double& v : off) v += 17.0;
  expectSameAlignment(off, pattern, 16, "off");
  // Values outside 0..255, which the bounds can't take: the sums decide alone.
  std::vector<double> below(pattern);
  for (double& v : below) v -= 100.0;
  expectSameAlignment(below, pattern, 200, "below zero");
}

}  // namespace
}  // namespace orvalis
