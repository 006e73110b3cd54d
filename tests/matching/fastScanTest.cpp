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
#include <utility>

#include "files/loadJpeg.h"
#include "imaging/circularMeanFilter.h"
#include "matching/archiveScan.h"
#include "matching/candidateTest.h"
#include "matching/fastAlignment.h"
#include "matching/fastScan.h"
#include "matching/rotationEstimate.h"
#include "matching/searchSteps.h"
#include "tests/matching/matchingHelpers.h"
#include "tests/support/quarterTurn.h"

namespace orvalis {
namespace {

using testing::BgrPicture;

struct Params {
  std::uint32_t filterRadius;
  std::uint8_t colorTolerance;
  std::uint32_t viewfinderX, viewfinderY, viewfinderRadius;
  double scanRadius;
};

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
  EXPECT_TRUE(buildTemplateSignature(*workspace) && buildTemplateHistograms(state) &&
              filterArchiveImage(*workspace));
  return workspace;
}

// What a scan reports, every double to the last bit.
std::string scanReport(Workspace& workspace, double radius) {
  const int found = scanArchiveImage(workspace, radius);
  const SearchState& s = workspace.state;
  char text[200];
  std::snprintf(text, sizeof text, "found %d/%d at (%u, %u) radius %.17g angle %.17g consensus %.17g", found,
                s.matchFound, s.matchY, s.matchX, s.matchRadius, s.matchAngle, s.consensusAngleDeg);
  return text;
}

// Both kernel sets from the pictures on: the same gray plane, the same scan.
// Returns whether the plain scan found a match.
int expectSameScan(const BgrPicture& query, const BgrPicture& archive, const Params& c,
                   const std::string& what, EstimateCode code = EstimateCode::Widest) {
  auto plain = prepared(query, archive, c, Kernels::Reference);
  auto fast = prepared(query, archive, c, Kernels::Fast);
  useEstimateCode(kernelMemory(*fast).scan, code);
  const std::uint8_t* p = plain->images.archiveGray.data();
  const std::size_t n = std::size_t{query.width} * query.height;
  const std::size_t at = std::mismatch(p, p + n, fast->images.archiveGray.data()).first - p;
  EXPECT_EQ(at, n) << what << ": the gray planes differ at row " << at / query.width << " column "
                   << at % query.width;
  EXPECT_EQ(scanReport(*fast, c.scanRadius), scanReport(*plain, c.scanRadius)) << what;
  return plain->state.matchFound;
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

// The picture with the annulus of each ring of a disc turned about its centre
// by the ring's own number of quarter turns, pixel for pixel as
// pasteQuarterTurn turns: ring k then aligns at quarters[k] x 90 degrees.
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
  // Identical pictures (every stage passes at the viewfinder; the refinement
  // runs), turned regions, unrelated ones, flat and ramp planes that put ring
  // means on the tolerance's edge, large and fractional radii, pictures
  // without texture (nearly every centre passes the candidate test and every
  // shift qualifies), photographs, and radii that find nothing; the estimate
  // codes taken in turn (those the processor lacks fall back to plain code).
  using testing::LowTexture;
  using testing::lowTexturePicture;
  using testing::pasteQuarterTurn;
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
    cases.push_back({"identical", picture, picture, {filter, tolerance, x, y, radius, double(radius)}, 1});
    const Params unrelated{1 + 3 * round, std::uint8_t(2 + 7 * round + round % 2), 75, 64, 40, 40.0};
    cases.push_back({"unrelated", texturedPicture(150, 128, 200 + round),
                     texturedPicture(150, 128, 300 + round), unrelated, -1});
  }
  const BgrPicture query = texturedPicture(170, 150, 77, 1.6), other = texturedPicture(170, 150, 78, 1.6);
  const BgrPicture quarter = pasteQuarterTurn(query, 75, 85, query, 75, 85, 75);
  for (const auto& [tolerance, filter] : {std::pair{8, 2u}, {24, 13u}}) {
    const Params c{filter, std::uint8_t(tolerance), 85, 75, 40, 40.0};
    cases.push_back({"quarter", query, quarter, c, -1});
    cases.push_back({"moved", query, pasteQuarterTurn(query, 75, 85, other, 80, 100, 50), c, -1});
    cases.push_back({"half", query, pasteQuarterTurn(quarter, 75, 85, quarter, 75, 85, 75), c, -1});
  }
  const BgrPicture seed = texturedPicture(150, 128, 61, 1.3);
  const BgrPicture planted = pasteQuarterTurn(seed, 64, 75, texturedPicture(150, 128, 62, 1.3), 64, 75, 55);
  for (const std::uint8_t tolerance : {10, 36})
    cases.push_back({"planted", seed, planted, {7, tolerance, 75, 64, 40, 40.0}, 1});
  // Rings 0, 1 and 6..8 at 90 degrees, the others two at 0, one at 180, one
  // at 270: until ring 7 is aligned the consensus hangs on exactly as many
  // agreeing rings as it needs.
  const int quarters[kRingCount] = {1, 1, 0, 2, 3, 0, 1, 1, 1};
  const BgrPicture rings = texturedPicture(130, 120, 15, 1.5);
  cases.push_back(
      {"turned rings", rings, turnedRings(rings, 60, 65, 45, quarters), {1, 24, 65, 60, 45, 45.0}, 1});
  const BgrPicture flat = testing::solidPicture(100, 92, 90, 100, 110);
  BgrPicture ramp = flat;
  for (std::uint32_t i = 0; i < 3 * 100 * 92; ++i)
    ramp.pixels[i] = std::uint8_t(80 + i / 3 % 100 / 7 + i / 300 / 11 + i % 3);
  for (const std::uint8_t tolerance : {std::uint8_t{2}, std::uint8_t{30}}) {
    cases.push_back({"flat", flat, flat, {5, tolerance, 50, 46, 40, 40.0}, 1});
    cases.push_back({"ramp", ramp, ramp, {5, tolerance, 50, 46, 40, 40.0}, 1});
    cases.push_back({"flat against ramp", flat, ramp, {5, tolerance, 50, 46, 40, 40.0}, -1});
  }
  const BgrPicture large = texturedPicture(505, 506, 12, 1.5), medium = texturedPicture(255, 250, 13, 1.5);
  const BgrPicture small = texturedPicture(130, 110, 14, 2.0), little = texturedPicture(90, 83, 3);
  cases.push_back({"radius 250", large, large, {8, 16, 252, 253, 250, 250.0}, 1});
  const BgrPicture mediumTurned = pasteQuarterTurn(medium, 125, 127, medium, 125, 127, 124);
  cases.push_back({"radius 120", medium, mediumTurned, {20, 24, 127, 125, 120, 120.0}, -1});
  cases.push_back({"fractional radius", small, small, {4, 20, 65, 55, 40, 40.5}, -1});
  for (const double radius : {0.0, 300.0, 41.0})
    cases.push_back({"no centre", little, little, {8, 16, 45, 41, 40, radius}, 0});
  for (const auto& [kind, name, w, h, radius, found] :
       {std::tuple{LowTexture::Noise, "noise", 200u, 150u, 25u, 0},
        {LowTexture::BlurredNoise, "blurred noise", 128u, 96u, 16u, 1},
        {LowTexture::DarkNoise, "dark noise", 128u, 96u, 16u, 1}}) {
    const BgrPicture one = lowTexturePicture(kind, w, h, 1), two = lowTexturePicture(kind, w, h, 2);
    cases.push_back({name, one, two, {8, 16, w / 2, h / 2, radius, double(radius)}, found});
  }
  const BgrPicture cat = demoPhoto("Current_Image.jpg"), astronaut = demoPhoto("Image_0000000000.jpg");
  const BgrPicture catCrop = crop(cat, 100, 166, 120, 120),
                   astronautCrop = crop(astronaut, 140, 240, 120, 120);
  cases.push_back(
      {"cat and astronaut, tolerance 255", catCrop, astronautCrop, {8, 255, 60, 60, 20, 20.0}, 1});
  // Image 4 holds the cat's eye turned by 40 degrees.
  cases.push_back(
      {"cat and its turned eye", cat, demoPhoto("Image_0000000004.jpg"), {8, 16, 226, 160, 60, 60.0}, 1});
  cases.push_back({"cat and astronaut", cat, astronaut, {8, 16, 226, 160, 60, 60.0}, 0});
  const EstimateCode codes[] = {EstimateCode::Widest, EstimateCode::Avx2, EstimateCode::Plain};
  for (std::size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    const std::string what = c.what + " (case " + std::to_string(k) + ")";
    const int found = expectSameScan(c.query, c.archive, c.c, what, codes[k % 3]);
    EXPECT_TRUE(c.found < 0 || found == c.found) << what << " found " << found;
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
          const std::string what = std::string(kind) + ", radius " + std::to_string(radius) + ", width " +
                                   std::to_string(width) + (direction > 0 ? ", above" : ", below");
          EXPECT_EQ(scanReport(*fast, radius), scanReport(*plain, radius)) << what;
          EXPECT_EQ(plain->state.matchFound, 1) << what;
        }
      }
    }
  }
}

TEST(FastScan, EarliestHitWinsWhenEveryLaneFindsOneAtOnce) {
  // Sixteen lanes; after forty chunks of rows that every centre fails, each
  // of the next sixteen chunks holds an accepted spot, so that the lanes find
  // their hits together. The spots lie further apart than
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
  for (int trial = 0; trial < 120; ++trial) {
    ASSERT_EQ(scanArchiveImage(*scans[1], kRadius), 1);
    const SearchState& got = scans[1]->state;
    wrong += got.matchY != expected.matchY || got.matchX != expected.matchX;
  }
  EXPECT_EQ(wrong, 0) << "trials out of 120 that reported another centre than (" << expected.matchY << ", "
                      << expected.matchX << ")";
}

TEST(AlignRingFast, SameShiftAndAngleAsOneShiftAtATime) {
  // Shifted sines with jitter; ties (constant profiles, where every shift
  // sums 0, and period 10, where shifts 0, 10, 20, ... tie); every sample
  // exactly the tolerance above, which qualifies, and 17 above, which does
  // not; values outside 0..255, which the bounds can't take.
  // Each also with only some shifts decisive: the best shift alone, all but
  // it, every third: a decisive best must come out aligned, and only a best
  // that is not decisive may be reported as elsewhere.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> jitter(-3.0, 3.0);
  struct Case {
    std::vector<double> candidate, templateProfile;
    std::uint8_t tolerance;
  };
  std::vector<Case> cases;
  for (const std::uint32_t n : {1u, 2u, 7u, 8u, 9u, 15u, 88u, 222u, 800u}) {
    std::vector<double> templateProfile(n), candidate(n);
    for (std::uint32_t i = 0; i < n; ++i) templateProfile[i] = 128 + 100 * std::sin(i * 6.283185307 / n * 3);
    for (const std::uint32_t shift : {0u, n / 3, n - 1}) {
      for (std::uint32_t j = 0; j < n; ++j) candidate[j] = templateProfile[(j + shift) % n] + jitter(rng);
      for (const std::uint8_t tolerance : {2, 4, 40})
        cases.push_back({candidate, templateProfile, tolerance});
    }
  }
  std::vector<double> pattern(60), on(60), off(60), below(60);
  for (std::size_t i = 0; i < 60; ++i) {
    pattern[i] = (i % 10) < 5 ? 10.0 : 200.0;
    on[i] = pattern[i] + 16;
    off[i] = pattern[i] + 17;
    below[i] = pattern[i] - 100;
  }
  cases.push_back({std::vector<double>(100, 50.0), std::vector<double>(100, 50.0), 2});
  cases.insert(cases.end(),
               {{pattern, pattern, 16}, {on, pattern, 16}, {off, pattern, 16}, {below, pattern, 200}});
  for (std::size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    const auto n = static_cast<std::uint32_t>(c.candidate.size());
    std::vector<double> twice(2 * n + kAlignLanes);
    std::vector<std::int32_t> windowSums(8 * n + 4 * kAlignLanes);
    layOutTemplate(c.templateProfile.data(), n, twice.data(), windowSums.data());
    double angle[2] = {-1, -1};
    const int plain = alignRing(c.candidate.data(), n, c.templateProfile.data(), c.tolerance, angle[0]);
    const int fast =
        alignRingFast(c.candidate.data(), n, twice.data(), windowSums.data(), c.tolerance, angle[1]);
    EXPECT_EQ(fast, plain) << "case " << k;
    EXPECT_EQ(std::memcmp(&angle[0], &angle[1], sizeof(double)), 0)
        << "case " << k << ": " << angle[0] << " vs " << angle[1];
    const auto best = static_cast<std::uint32_t>(std::lround(angle[0] * n / 360.0)) % n;
    for (int kind = 0; kind < 3; ++kind) {
      std::vector<std::uint8_t> decisive(n);
      for (std::uint32_t s = 0; s < n; ++s)
        decisive[s] = kind == 0 ? s == best : kind == 1 ? s != best : s % 3 == 0;
      double got = -1;
      const RingAlignment result = alignRingDecisive(c.candidate.data(), n, twice.data(), windowSums.data(),
                                                     c.tolerance, decisive.data(), got);
      const std::string what = "case " + std::to_string(k) + ", decisive kind " + std::to_string(kind);
      if (!plain) {
        EXPECT_EQ(result, RingAlignment::NoneQualifies) << what;
      } else if (decisive[best] != 0 || result == RingAlignment::Aligned) {
        EXPECT_EQ(result, RingAlignment::Aligned) << what;
        EXPECT_EQ(std::memcmp(&angle[0], &got, sizeof(double)), 0)
            << what << ": " << angle[0] << " vs " << got;
      }
    }
  }
}

}  // namespace
}  // namespace orvalis
