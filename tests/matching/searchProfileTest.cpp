// Several copies a picture, a score ceiling, a range of turns, other light and
// other sizes: the passes of the scan, the same with both kernel sets.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/bilinearSampling.h"
#include "matching/fastScan.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "tests/matching/matchingHelpers.h"
#include "tests/support/quarterTurn.h"

namespace orvalis {
namespace {

using testing::BgrPicture;

constexpr std::uint32_t kRow = 120, kColumn = 160, kRadius = 30, kHalf = 42;
struct Plant {
  std::int64_t row, column;
  int quarters;
};
constexpr Plant kPlants[] = {{70, 80, 0}, {120, 250, 1}, {230, 400, 2}};  // in raster order

// A texture in gray levels 40 to 180, which every light in range keeps in 0..255.
BgrPicture texture(std::uint32_t width, std::uint32_t height, std::uint32_t seed, double detail) {
  BgrPicture picture = testing::texturedPicture(width, height, seed, detail);
  for (std::uint8_t& v : picture.pixels) v = static_cast<std::uint8_t>(40 + v * 140 / 255);
  return picture;
}

std::unique_ptr<Workspace> searchOn(const BgrPicture& query, const BgrPicture& archive,
                                    const SearchProfile& profile, Kernels kernels, std::uint8_t tolerance,
                                    std::uint32_t filterRadius = 8) {
  return testing::preparedSearch(query, archive, {filterRadius, tolerance, kColumn, kRow, kRadius}, kernels,
                                 profile);
}

// Gain 0: the three copies planted; else copy 1 alone, under gain x value + offset.
std::unique_ptr<Workspace> prepared(const SearchProfile& profile, Kernels kernels, double gain,
                                    double offset) {
  const BgrPicture query = gain == 0 ? testing::texturedPicture(320, 240, 7) : texture(320, 240, 7, 2.0);
  BgrPicture archive = gain == 0 ? testing::texturedPicture(480, 320, 8) : texture(480, 320, 8, 4.0);
  for (const Plant& p : kPlants) {
    if (gain == 0 || p.quarters == 1)
      archive = testing::pasteScaled(query, kRow, kColumn, archive, int(p.row), int(p.column), kHalf, 1,
                                     90 * p.quarters, gain == 0 ? 1 : gain, offset);
  }
  return searchOn(query, archive, profile, kernels, 8);
}

std::string report(Workspace& w) {
  return testing::searchReport(w, kRadius, true);
}

TEST(SearchProfile, PassesFindEveryCopyInOrderWithinTheTurnsScoreAndLight) {
  // Turns from angleMin to angleMax (equal: every turn); the score cut keeps
  // the copies scored at most the middle one of the three.
  const struct {
    std::uint32_t matches;
    double angleMin, angleMax;
    bool scoreCut, light;
    double gain, offset;
    std::vector<int> plants;  // the copies reported, in order
  } cases[] = {
      {1, 0, 0, false, false, 0, 0, {0}},       {2, 0, 0, false, false, 0, 0, {0, 1}},
      {3, 0, 0, false, false, 0, 0, {0, 1, 2}}, {4, 0, 0, false, false, 0, 0, {0, 1, 2}},
      {1, 45, 135, false, false, 0, 0, {1}},    {4, 170, 10, false, false, 0, 0, {0, 2}},
      {4, 350, 10, false, false, 0, 0, {0}},    {4, 100, 260, false, false, 0, 0, {2}},
      {4, 0, 0, true, false, 0, 0, {}},         {2, 0, 0, false, false, 1.12, 14, {}},
      {2, 0, 0, false, true, 1.12, 14, {1}},    {2, 0, 0, false, true, 0.8, -30, {1}},
      {2, 0, 0, false, true, 0.8, 30, {1}},     {2, 0, 0, false, true, 1.25, -30, {1}},
      {2, 0, 0, false, true, 1.25, 30, {1}},
  };
  double middle = 0;
  std::vector<int> scoredBelowMiddle;
  for (const auto& c : cases) {
    SearchProfile profile;
    profile.given = true;
    profile.matches = c.matches;
    profile.angleLimited = c.angleMin != c.angleMax;
    profile.angleMin = c.angleMin;
    profile.angleMax = c.angleMax;
    profile.light = c.light;
    if (c.scoreCut) profile.maxScore = middle;
    auto plain = prepared(profile, Kernels::Reference, c.gain, c.offset),
         fast = prepared(profile, Kernels::Fast, c.gain, c.offset);
    const std::string what = "case " + std::to_string(&c - cases);
    EXPECT_EQ(report(*fast), report(*plain)) << what;
    const std::vector<int>& expected = c.scoreCut ? scoredBelowMiddle : c.plants;
    ASSERT_EQ(plain->foundCount, expected.size()) << what;
    EXPECT_EQ(plain->state.matchFound, expected.empty() ? 0 : 1) << what;
    for (std::size_t m = 0; m < expected.size(); ++m) {
      const Plant& p = kPlants[expected[m]];
      EXPECT_NEAR(plain->found[m].y, p.row, 2) << what << " copy " << m;
      EXPECT_NEAR(plain->found[m].x, p.column, 2) << what << " copy " << m;
      EXPECT_NEAR(plain->found[m].angleDeg, 90 * p.quarters, 1) << what << " copy " << m;
    }
    if (c.matches != 3) continue;
    double scores[3] = {plain->found[0].score, plain->found[1].score, plain->found[2].score};
    std::sort(scores, scores + 3);
    middle = scores[1];
    for (int p = 0; p < 3; ++p) {
      if (plain->found[p].score <= middle) scoredBelowMiddle.push_back(p);
    }
  }
  // A region of another texture that passes under a light of its own (at
  // the default tolerance) is held off by the score.
  SearchProfile light;
  light.given = light.light = true;
  auto w = searchOn(testing::texturedPicture(320, 240, 7, 2.0), testing::texturedPicture(320, 240, 8, 2.0),
                    light, Kernels::Fast, 16);
  EXPECT_FALSE(findMatches(*w, kRadius)) << report(*w);
}

TEST(SearchProfile, EverySizeInTheRangeIsFoundAtItsPlaceTurnAndScale) {
  const BgrPicture query = testing::texturedPicture(320, 240, 7, 2.0);
  const BgrPicture background = testing::texturedPicture(240, 240, 8, 2.0);
  SearchProfile profile;
  profile.given = true;
  profile.scaleMin = 0.8;
  profile.scaleMax = 1.25;
  for (int step = 0; step <= 45; ++step) {
    const double scale = 0.8 + step * 0.01, degrees = (step * 37) % 360;
    const BgrPicture archive =
        testing::pasteScaled(query, kRow, kColumn, background, 120, 120, kRadius + 12, scale, degrees);
    std::string reports[2];
    for (const Kernels kernels : {Kernels::Fast, Kernels::Reference}) {
      if (kernels == Kernels::Reference && step % 15 != 0) continue;  // the twins on a few
      auto w = searchOn(query, archive, profile, kernels, 16);
      const std::string what = "scale " + std::to_string(scale) + " turned " + std::to_string(degrees);
      reports[kernels == Kernels::Fast ? 0 : 1] = report(*w);
      ASSERT_GT(w->foundCount, 0u) << what;
      const FoundMatch& m = w->found[0];
      EXPECT_NEAR(m.y, 120, 4) << what;
      EXPECT_NEAR(m.x, 120, 4) << what;
      EXPECT_NEAR(std::remainder(m.angleDeg - degrees, 360), 0, 2) << what;
      EXPECT_NEAR(m.scale, scale, scale * 0.05) << what;
      EXPECT_DOUBLE_EQ(w->state.matchRadius, kRadius * m.scale) << what;  // the glyph at the copy's size
    }
    if (!reports[1].empty()) {
      EXPECT_EQ(reports[0], reports[1]) << scale;
    }
  }
  // A sharp picture, as photographs are: the archive's filter blurs a shrunk
  // copy more than the template and a grown one less, unless each size has
  // its template filtered to match.
  const BgrPicture sharp = testing::texturedPicture(320, 240, 7, 4.0);
  const BgrPicture sharpBackground = testing::texturedPicture(320, 320, 8, 4.0);
  for (const double scale : {0.8, 0.87, 1.16, 1.25}) {
    const BgrPicture archive =
        testing::pasteScaled(sharp, kRow, kColumn, sharpBackground, 160, 160, 75, scale, 30);
    auto w = testing::preparedSearch(sharp, archive, {8, 16, kColumn, kRow, 60}, Kernels::Fast, profile);
    // The sizes' own templates are put back: the views and the next picture
    // get the query's own, to the last bit.
    const SearchState before = w->state;
    ASSERT_TRUE(findMatches(*w, 60)) << scale;
    EXPECT_EQ(before.templateCentreValue, w->state.templateCentreValue);
    EXPECT_EQ(0, std::memcmp(before.templateRingProfile, w->state.templateRingProfile,
                             sizeof before.templateRingProfile));
    EXPECT_EQ(
        0, std::memcmp(before.templateRingHist, w->state.templateRingHist, sizeof before.templateRingHist));
    EXPECT_NEAR(w->found[0].y, 160, 2) << scale;
    EXPECT_NEAR(w->found[0].x, 160, 2) << scale;
    EXPECT_NEAR(w->found[0].scale, scale, scale * 0.02) << scale;
  }
}

// The fast scans of a run of neighbouring sizes skip the centres a shared
// screen clears: each must fail the first ring's mean test at every size of
// the run. A sharp picture (filter radius 1) and a wide run, where the
// first ring's mean moves fast with the size.
TEST(SearchProfile, AScreenClearsOnlyCentresThatFailAtEverySizeOfItsRun) {
  constexpr double kRadiusHere = 60;
  const BgrPicture picture = testing::texturedPicture(240, 240, 8, 4.0);
  auto w =
      searchOn(testing::texturedPicture(320, 240, 7, 4.0), picture, SearchProfile{}, Kernels::Fast, 16, 1);
  const double scales[] = {0.8, 0.85, 0.9, 0.95, 1.0, 1.05, 1.1};
  KernelMemory& memory = kernelMemory(*w);
  prepareScaleScreen(*w, memory.scan, memory.pool, kRadiusHere, 1.1);
  const std::uint8_t* screen = screenScales(*w, memory.scan, memory.pool, kRadiusHere, scales, 7);
  ASSERT_NE(screen, nullptr);
  const SearchState& s = w->state;
  const std::uint32_t count = ringSampleCountOf(ringRadius(0, kRadiusHere));
  int cleared = 0, passing = 0, wronglyCleared = 0;
  double profile[kMaxRingSamples];
  for (std::uint32_t row = 50; row < 190; ++row) {
    for (std::uint32_t column = 50; column < 190; ++column) {
      const double centre = w->images.archiveGray[row * s.archiveWidth + column];
      if (std::fabs(centre - s.templateCentreValue) > s.colorTolerance) continue;
      bool passesSomewhere = false;
      for (const double scale : scales) {
        sampleRingWithCount(w->images.archiveGray.data(), s.archiveWidth, row, column,
                            ringRadius(0, kRadiusHere * scale), count, profile);
        double sum = 0;
        for (std::uint32_t i = 0; i < count; ++i) sum += profile[i];
        passesSomewhere = passesSomewhere || std::fabs(sum / count - s.templateRingMean[0]) <=
                                                 s.colorTolerance * kMeanToleranceFactor;
      }
      const bool kept = screen[row * s.archiveWidth + column] != 0;
      cleared += !kept;
      passing += passesSomewhere;
      wronglyCleared += !kept && passesSomewhere;
    }
  }
  EXPECT_EQ(wronglyCleared, 0);
  EXPECT_GT(cleared, 50);  // the screen does clear
  EXPECT_GT(passing, 10);  // and some centres pass at some size
}

}  // namespace
}  // namespace orvalis
