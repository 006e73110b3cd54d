// The fast scan and its pieces against the plain ones, to the last bit; its
// screening estimates on the very edge of the mean tolerance; and its
// earliest-hit rule with many lanes finding hits at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "files/loadJpeg.h"
#include "imaging/circularMeanFilter.h"
#include "matching/archiveScan.h"
#include "matching/candidateTest.h"
#include "matching/fastScan.h"
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

struct Params {
  std::uint32_t filterRadius;
  std::uint8_t colorTolerance;
  std::uint32_t viewfinderX, viewfinderY, viewfinderRadius;
  double scanRadius;
};

std::string describe(const Params& c) {
  char text[160];
  std::snprintf(text, sizeof text, "filter %u tolerance %u viewfinder (%u, %u) radius %u, scan radius %.2f",
                c.filterRadius, c.colorTolerance, c.viewfinderX, c.viewfinderY, c.viewfinderRadius,
                c.scanRadius);
  return text;
}

// Template from the query, archive filtered, with the given kernels
// throughout; stale result fields that a scan without a match must keep.
std::unique_ptr<Workspace> prepared(const BgrPicture& query, const BgrPicture& archive, const Params& c,
                                    Kernels kernels) {
  auto workspace = testing::freshWorkspace(query.width, query.height, kernels);
  SearchState& state = workspace->state;
  state.filterRadius = c.filterRadius;
  state.colorTolerance = c.colorTolerance;
  state.viewfinderX = c.viewfinderX;
  state.viewfinderY = c.viewfinderY;
  state.viewfinderRadius = c.viewfinderRadius;
  state.matchX = state.matchY = 3;
  state.matchAngle = 0.25;
  state.consensusAngleDeg = 12.5;
  testing::splitIntoQuery(*workspace, query);
  testing::splitIntoArchive(*workspace, archive);
  EXPECT_EQ(buildTemplateSignature(*workspace), 1) << describe(c);
  EXPECT_EQ(buildTemplateHistograms(state), 1) << describe(c);
  EXPECT_EQ(filterArchiveImage(*workspace), 1) << describe(c);
  return workspace;
}

// Empty when both workspaces' scans report the same, else both reports.
std::string compareScans(Workspace& plain, Workspace& fast, double radius, int* found = nullptr) {
  const int plainFound = scanArchiveImage(plain, radius);
  const int fastFound = scanArchiveImage(fast, radius);
  if (found) *found = plainFound;
  const SearchState& p = plain.state;
  const SearchState& f = fast.state;
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

std::string compareScans(const BgrPicture& query, const BgrPicture& archive, const Params& c,
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
  return compareScans(*plain, *fast, c.scanRadius, found);
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
    std::memcpy(out.at(y, 0), picture.pixels.data() + 3 * ((std::size_t{top} + y) * picture.width + left),
                3 * static_cast<std::size_t>(width));
  }
  return out;
}

TEST(FastScan, SameResultAsTheReference) {
  // Identical pictures (every stage passes at the viewfinder; the refinement
  // runs), turned regions, unrelated ones, flat and ramp planes that put ring
  // means on the tolerance's edge, large and fractional radii, pictures
  // without texture (nearly every centre passes the candidate test and every
  // shift qualifies), photographs, and radii that find nothing.
  using testing::LowTexture;
  using testing::lowTexturePicture;
  using testing::texturedPicture;
  struct Case {
    std::string what;
    BgrPicture query, archive;
    Params c;
    int found;  // -1: either
  };
  std::vector<Case> cases;
  std::mt19937 rng(129);
  for (std::uint32_t round = 0; round < 6; ++round) {
    const std::uint32_t width = 131 + 7 * round, height = 113 + 5 * round;
    const BgrPicture picture = texturedPicture(width, height, 40 + round, 1.0 + 0.4 * round);
    const std::uint32_t radius = 40 + rng() % 6, filter = 1 + rng() % 20;
    const auto tolerance = static_cast<std::uint8_t>(2 + 2 * (rng() % 20));
    const std::uint32_t x = width / 2 + rng() % 7, y = height / 2 - rng() % 5;
    const Params c{filter, tolerance, x, y, radius, double(radius)};
    cases.push_back({"identical", picture, picture, c, 1});
    cases.push_back({"unrelated",
                     texturedPicture(150, 128, 200 + round),
                     texturedPicture(150, 128, 300 + round),
                     {1 + 3 * round, std::uint8_t(2 + 7 * round + round % 2), 75, 64, 40, 40.0},
                     -1});
  }
  const BgrPicture query = texturedPicture(170, 150, 77, 1.6),
                   background = texturedPicture(170, 150, 78, 1.6);
  const BgrPicture quarter = testing::pasteQuarterTurn(query, 75, 85, query, 75, 85, 75);
  for (const auto& [tolerance, filter] : {std::pair{8, 2u}, {24, 13u}}) {
    const Params c{filter, std::uint8_t(tolerance), 85, 75, 40, 40.0};
    cases.push_back({"quarter", query, quarter, c, -1});
    cases.push_back(
        {"moved", query, testing::pasteQuarterTurn(query, 75, 85, background, 80, 100, 50), c, -1});
    cases.push_back({"half", query, testing::pasteQuarterTurn(quarter, 75, 85, quarter, 75, 85, 75), c, -1});
  }
  const BgrPicture flat = testing::solidPicture(100, 92, 90, 100, 110);
  BgrPicture ramp = flat;
  for (std::uint32_t y = 0; y < ramp.height; ++y) {
    for (std::uint32_t x = 0; x < ramp.width; ++x) {
      for (int ch = 0; ch < 3; ++ch) ramp.at(y, x)[ch] = static_cast<std::uint8_t>(80 + x / 7 + y / 11 + ch);
    }
  }
  for (const std::uint8_t tolerance : {std::uint8_t{2}, std::uint8_t{30}}) {
    const Params c{5, tolerance, 50, 46, 40, 40.0};
    cases.push_back({"flat", flat, flat, c, 1});
    cases.push_back({"ramp", ramp, ramp, c, 1});
    cases.push_back({"flat against ramp", flat, ramp, c, -1});
  }
  const BgrPicture large = texturedPicture(505, 506, 12, 1.5), medium = texturedPicture(255, 250, 13, 1.5);
  cases.push_back({"radius 250", large, large, {8, 16, 252, 253, 250, 250.0}, 1});
  cases.push_back({"radius 120 turned",
                   medium,
                   testing::pasteQuarterTurn(medium, 125, 127, medium, 125, 127, 124),
                   {20, 24, 127, 125, 120, 120.0},
                   -1});
  const BgrPicture small = texturedPicture(130, 110, 14, 2.0);
  cases.push_back({"fractional radius", small, small, {4, 20, 65, 55, 40, 40.5}, -1});
  const BgrPicture little = texturedPicture(90, 83, 3);
  for (const double radius : {0.0, 300.0, 41.0})
    cases.push_back({"no centre", little, little, {8, 16, 45, 41, 40, radius}, 0});
  cases.push_back({"noise",
                   lowTexturePicture(LowTexture::Noise, 200, 150, 1),
                   lowTexturePicture(LowTexture::Noise, 200, 150, 2),
                   {8, 16, 100, 75, 25, 25.0},
                   0});
  cases.push_back({"blurred noise",
                   lowTexturePicture(LowTexture::BlurredNoise, 128, 96, 1),
                   lowTexturePicture(LowTexture::BlurredNoise, 128, 96, 2),
                   {8, 16, 64, 48, 16, 16.0},
                   1});
  cases.push_back({"dark noise",
                   lowTexturePicture(LowTexture::DarkNoise, 128, 96, 1),
                   lowTexturePicture(LowTexture::DarkNoise, 128, 96, 2),
                   {8, 16, 64, 48, 16, 16.0},
                   1});
  const BgrPicture cat = demoPhoto("Current_Image.jpg"), astronaut = demoPhoto("Image_0000000000.jpg");
  cases.push_back({"cat and astronaut at tolerance 255",
                   crop(cat, 100, 166, 120, 120),
                   crop(astronaut, 140, 240, 120, 120),
                   {8, 255, 60, 60, 20, 20.0},
                   1});
  // Image 4 holds the cat's eye turned by 40 degrees.
  cases.push_back(
      {"cat and its turned eye", cat, demoPhoto("Image_0000000004.jpg"), {8, 16, 226, 160, 60, 60.0}, 1});
  cases.push_back({"cat and astronaut", cat, astronaut, {8, 16, 226, 160, 60, 60.0}, 0});
  for (const Case& k : cases) {
    int found = -1;
    EXPECT_EQ(compareScans(k.query, k.archive, k.c, &found), "") << k.what << ", " << describe(k.c);
    EXPECT_TRUE(k.found < 0 || found == k.found) << k.what << " found " << found << ", " << describe(k.c);
  }
}

TEST(FastScan, SameResultWithEveryEstimateCode) {
  // The narrower codes the processor may lack fall back to plain code.
  const BgrPicture query = testing::texturedPicture(150, 128, 61, 1.3);
  const BgrPicture unrelated = testing::texturedPicture(150, 128, 62, 1.3);
  const BgrPicture turned = testing::pasteQuarterTurn(query, 64, 75, unrelated, 64, 75, 55);
  for (const EstimateCode code : {EstimateCode::Plain, EstimateCode::Avx2, EstimateCode::Widest}) {
    for (const std::uint8_t tolerance : {std::uint8_t{10}, std::uint8_t{36}}) {
      const Params c{7, tolerance, 75, 64, 40, 40.0};
      int found = 0;
      EXPECT_EQ(compareScans(query, turned, c, &found, code), "") << int(code) << ", " << describe(c);
      EXPECT_EQ(found, 1) << describe(c);
      EXPECT_EQ(compareScans(query, unrelated, c, nullptr, code), "") << int(code) << ", " << describe(c);
    }
  }
}

// The gray plane of a kind of picture: flat, noise, a ramp, or a photograph
// blurred by the disc filter.
std::vector<std::uint8_t> grayPicture(const std::string& kind, std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> gray(std::size_t{width} * height, 137);
  std::mt19937 rng(width * 31 + height);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t& v = gray[std::size_t{y} * width + x];
      if (kind == "noise") v = static_cast<std::uint8_t>(rng());
      if (kind == "ramp") v = static_cast<std::uint8_t>(60 + 2 * x + y);
    }
  }
  if (kind == "blurred photograph") {
    static const BgrPicture cat = demoPhoto("Current_Image.jpg");
    const BgrPicture part = crop(cat, 60, 120, width, height);
    std::vector<std::uint8_t> sharp(gray.size()), mask(81);
    for (std::size_t i = 0; i < sharp.size(); ++i) sharp[i] = part.pixels[3 * i + 1];
    std::uint32_t count = 0;
    buildDiscMask(4, mask.data(), count);
    circularMeanFilter(sharp.data(), sharp.data(), sharp.data(), gray.data(), gray.data(), gray.data(), width,
                       height, 4, mask.data(), count);
  }
  return gray;
}

TEST(FastScan, EstimatesNeverRejectACentreOnTheEdgeOfTheMeanTolerance) {
  // The template is the first admissible centre's own disc, each ring mean
  // then moved to the furthest value at which the exact test still passes.
  // Both scans must accept that centre first: a screening estimate that
  // strays from its exactly summed mean by more than its margin rejects it.
  // Rows narrower than a block use the double estimates alone, wider ones
  // the float block estimates while enough centres of a block are left.
  auto plain = testing::freshWorkspace(8, 8, Kernels::Reference);
  auto fast = testing::freshWorkspace(8, 8, Kernels::Fast);
  const double meanTolerance = plain->state.colorTolerance * kMeanToleranceFactor;
  int cases = 0;
  for (const double radius : {2.5, 6.0, 11.3, 20.0, 33.7, 47.0}) {
    const std::uint32_t side = 2 * static_cast<std::uint32_t>(std::ceil(radius)) + 3;
    for (const std::uint32_t width : {side + 4, side + 40}) {
      const std::uint32_t height = side + 6;
      const double centre = std::ceil(radius + 1);
      for (const char* kind : {"flat", "noise", "ramp", "blurred photograph"}) {
        const std::vector<std::uint8_t> gray = grayPicture(kind, width, height);
        for (const double direction : {1.0, -1.0}) {
          for (Workspace* w : {plain.get(), fast.get()}) {
            std::copy(gray.begin(), gray.end(), w->images.archiveGray.data());
            w->state.archiveWidth = width;
            w->state.archiveHeight = height;
          }
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
          int found = 0;
          const std::string what = std::string(kind) + ", radius " + std::to_string(radius) + ", width " +
                                   std::to_string(width) + (direction > 0 ? ", above" : ", below");
          EXPECT_EQ(compareScans(*plain, *fast, radius, &found), "") << what;
          EXPECT_EQ(found, 1) << what;
          ++cases;
        }
      }
    }
  }
  EXPECT_EQ(cases, 96);
}

TEST(FastScan, EarliestHitWinsWhenEveryLaneFindsOneAtOnce) {
  // Sixteen lanes; after forty chunks of rows that every centre fails, the
  // first row of each of the next sixteen chunks holds an accepted spot, so
  // that the lanes find their hits together. The spots lie further apart than
  // the refinement reaches: a wrong first hit shows in the result. A scan
  // with one lane, which nothing races, gives the answer.
  constexpr int kRadius = 50, kPitch = 2 * kRadius + 5, kFirstRow = kRadius + 1, kQuietChunks = 40;
  const std::uint32_t width = 16 * kPitch + 2, height = kFirstRow + 4 * kQuietChunks + 64 + kRadius + 4;
  const auto spotRow = [&](int k) { return kFirstRow + 4 * (kQuietChunks + k) + 2; };
  const auto spotColumn = [&](int k) { return 1 + kPitch / 2 + kPitch * k; };
  std::unique_ptr<Workspace> scans[2];
  for (int k = 0; k < 2; ++k) {
    scans[k] = testing::freshWorkspace(width, height);
    useKernels(*scans[k], Kernels::Fast, k == 0 ? 1 : 16);
    // Spots of 200 on ground of 184..199: every centre passes the centre
    // value, and only those deep inside a spot the ring means.
    testing::fillPlane(scans[k]->images.archiveGray, width, height, [&](auto y, auto x) {
      const int spot = std::min(15, (static_cast<int>(x) - 1) / kPitch);
      const double dy = double(y) - spotRow(spot), dx = double(x) - spotColumn(spot);
      return dy * dy + dx * dx <= (kRadius + 1.5) * (kRadius + 1.5) ? 200
                                                                    : 184 + (y * 7919 + x * 104729) % 16;
    });
    testing::templateFromArchive(*scans[k], spotRow(0), spotColumn(0), kRadius);
  }
  ASSERT_EQ(scanArchiveImage(*scans[0], kRadius), 1);
  const SearchState& expected = scans[0]->state;
  ASSERT_LE(std::abs(int(expected.matchY) - spotRow(0)) + std::abs(int(expected.matchX) - spotColumn(0)), 4);
  int wrong = 0;
  for (int trial = 0; trial < 80; ++trial) {
    ASSERT_EQ(scanArchiveImage(*scans[1], kRadius), 1);
    const SearchState& got = scans[1]->state;
    wrong += got.matchY != expected.matchY || got.matchX != expected.matchX;
  }
  EXPECT_EQ(wrong, 0) << "trials out of 80 that reported another centre than (" << expected.matchY << ", "
                      << expected.matchX << ")";
}

TEST(TestCandidateFast, SameVerdictAndSignatureAtEveryCentre) {
  const BgrPicture query = testing::texturedPicture(120, 110, 51, 1.2);
  const BgrPicture archive = testing::pasteQuarterTurn(query, 55, 60, query, 55, 60, 55);
  const Params c{6, 30, 60, 55, 40, 40.0};
  auto plain = prepared(query, archive, c, Kernels::Reference);
  auto fast = prepared(query, archive, c, Kernels::Fast);
  const SearchState& p = plain->state;
  const SearchState& f = fast->state;
  int passes = 0;
  for (std::uint32_t row = 41; row <= 110 - 2 - 40; ++row) {
    for (std::uint32_t column = 41; column <= 120 - 2 - 40; ++column) {
      const int expected = testCandidate(*plain, row, column, 40);
      ASSERT_EQ(testCandidateFast(*fast, kernelMemory(*fast).scan, row, column, 40), expected)
          << "row " << row << " column " << column;
      if (!expected) continue;
      ++passes;
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
  // Ties: constant profiles (every shift sums 0) and period 10 (shifts 0, 10,
  // 20, ... tie); nothing qualifies at 17 above; outside 0..255 the bounds
  // can't help.
  std::vector<double> pattern(60);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = (i % 10) < 5 ? 10.0 : 200.0;
  std::vector<double> off(pattern), below(pattern);
  for (double& v : off) v += 17.0;
  for (double& v : below) v -= 100.0;
  expectSameAlignment(std::vector<double>(100, 50.0), std::vector<double>(100, 50.0), 2, "constant");
  expectSameAlignment(pattern, pattern, 16, "periodic");
  expectSameAlignment(off, pattern, 16, "off");
  expectSameAlignment(below, pattern, 200, "below zero");
}

}  // namespace
}  // namespace orvalis
