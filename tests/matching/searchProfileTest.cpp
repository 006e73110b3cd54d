// Several copies a picture, a score ceiling and a range of turns: the passes
// of the scan with both kernel sets, on a texture with three planted copies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

constexpr std::int64_t kRow = 120, kColumn = 160, kRadius = 30, kHalf = 42;
struct Plant {
  std::int64_t row, column;
  int quarters;
};
constexpr Plant kPlants[] = {{70, 80, 0}, {120, 250, 1}, {230, 400, 2}};  // in raster order

// The query's viewfinder square turned about its centre by quarters.
BgrPicture turned(BgrPicture picture, int quarters) {
  for (int q = 0; q < quarters; ++q) {
    picture = testing::pasteQuarterTurn(picture, kRow, kColumn, picture, kRow, kColumn, kHalf);
  }
  return picture;
}

// A texture in gray levels 40 to 180, which every light in range keeps
// within 0..255.
BgrPicture texture(std::uint32_t width, std::uint32_t height, std::uint32_t seed, double detail) {
  BgrPicture picture = testing::texturedPicture(width, height, seed, detail);
  for (std::uint8_t& v : picture.pixels) v = static_cast<std::uint8_t>(40 + v * 140 / 255);
  return picture;
}

// The template from the query's viewfinder, the archive filtered, ready for
// findMatches under the profile.
std::unique_ptr<Workspace> searchOn(const BgrPicture& query, const BgrPicture& archive,
                                    const SearchProfile& profile, Kernels kernels, std::uint8_t tolerance,
                                    std::uint32_t filterRadius = 8) {
  auto workspace = testing::freshWorkspace(archive.width, archive.height, kernels);
  SearchState& s = workspace->state;
  s.filterRadius = filterRadius;
  s.queryWidth = query.width;
  s.queryHeight = query.height;
  s.colorTolerance = tolerance;
  s.viewfinderX = kColumn;
  s.viewfinderY = kRow;
  s.viewfinderRadius = kRadius;
  workspace->profile = profile;
  testing::splitInto(*workspace, query, false);
  testing::splitInto(*workspace, archive, true);
  EXPECT_TRUE(buildTemplateSignature(*workspace) && buildTemplateHistograms(s) &&
              filterArchiveImage(*workspace));
  return workspace;
}

// Light: the planted copies under gain x value + offset; gain 0: the plain three.
std::unique_ptr<Workspace> prepared(const SearchProfile& profile, Kernels kernels, double gain = 0,
                                    double offset = 0) {
  const BgrPicture query = gain == 0 ? testing::texturedPicture(320, 240, 7) : texture(320, 240, 7, 2.0);
  BgrPicture archive = gain == 0 ? testing::texturedPicture(480, 320, 8) : texture(480, 320, 8, 4.0);
  BgrPicture lit = query;
  for (std::uint8_t& v : lit.pixels) v = static_cast<std::uint8_t>(std::lround(gain * v + offset));
  for (const Plant& p : kPlants) {
    if (gain != 0 && p.quarters != 1) continue;
    archive = testing::pasteQuarterTurn(turned(gain == 0 ? query : lit, (p.quarters + 3) % 4), kRow, kColumn,
                                        archive, p.row, p.column, kHalf);
  }
  return searchOn(query, archive, profile, kernels, 8);
}

// Every copy found, each double to the last bit, and the match fields.
std::string report(Workspace& w) {
  std::string text = std::to_string(findMatches(w, kRadius)) + ":";
  for (std::uint32_t m = 0; m < w.foundCount; ++m) {
    char copy[160];
    std::snprintf(copy, sizeof copy, " (%u %u %.17g %.17g %.17g)", w.found[m].y, w.found[m].x,
                  w.found[m].angleDeg, w.found[m].angle, w.found[m].score);
    text += copy;
  }
  const SearchState& s = w.state;
  char fields[120];
  std::snprintf(fields, sizeof fields, " / %u %u %.17g", s.matchY, s.matchX, s.consensusAngleDeg);
  return text + fields;
}

TEST(SearchProfile, PassesFindEveryCopyInOrderWithinTheTurnsAndScore) {
  struct Case {
    std::uint32_t matches;
    double angleMin, angleMax;  // equal: every turn
    bool scoreCut;              // drop copies scored above the middle one's
    std::vector<int> plants;    // the copies reported, in order
  };
  const Case cases[] = {
      {1, 0, 0, false, {0}},       {2, 0, 0, false, {0, 1}},  {3, 0, 0, false, {0, 1, 2}},
      {4, 0, 0, false, {0, 1, 2}}, {1, 45, 135, false, {1}},  {4, 170, 10, false, {0, 2}},
      {4, 350, 10, false, {0}},    {4, 100, 260, false, {2}}, {4, 0, 0, true, {}},
  };
  double middle = 0;
  std::vector<double> scores;
  for (const Case& c : cases) {
    SearchProfile profile;
    profile.given = true;
    profile.matches = c.matches;
    profile.angleLimited = c.angleMin != c.angleMax;
    profile.angleMin = c.angleMin;
    profile.angleMax = c.angleMax;
    if (c.scoreCut) profile.maxScore = middle;
    auto plain = prepared(profile, Kernels::Reference);
    auto fast = prepared(profile, Kernels::Fast);
    const std::string what = std::to_string(c.matches) + " " + std::to_string(c.angleMin) + ":" +
                             std::to_string(c.angleMax) + (c.scoreCut ? " cut" : "");
    EXPECT_EQ(report(*fast), report(*plain)) << what;
    std::vector<int> expected = c.plants;
    if (c.scoreCut) {  // the copies at or below the middle score, in order
      for (int p = 0; p < 3; ++p) {
        if (scores[p] <= middle) expected.push_back(p);
      }
    }
    ASSERT_EQ(plain->foundCount, expected.size()) << what;
    for (std::size_t m = 0; m < expected.size(); ++m) {
      const Plant& p = kPlants[expected[m]];
      const FoundMatch& found = plain->found[m];
      EXPECT_NEAR(found.y, p.row, 2) << what << " copy " << m;
      EXPECT_NEAR(found.x, p.column, 2) << what << " copy " << m;
      EXPECT_NEAR(found.angleDeg, 90 * p.quarters, 1) << what << " copy " << m;
      if (c.matches == 3 && !profile.angleLimited) scores.push_back(found.score);
    }
    if (scores.size() == 3) {
      std::vector<double> sorted = scores;
      std::sort(sorted.begin(), sorted.end());
      middle = sorted[1];
    }
    EXPECT_EQ(plain->state.matchFound, expected.empty() ? 0 : 1) << what;
  }
}

TEST(SearchProfile, LightInRangeIsCompensatedAndTheSameWithBothKernels) {
  struct Case {
    double gain, offset;
    bool light, found;
  };
  const Case cases[] = {{1.12, 14, false, false}, {1.12, 14, true, true},  {0.8, -30, true, true},
                        {0.8, 30, true, true},    {1.25, -30, true, true}, {1.25, 30, true, true}};
  for (const Case& c : cases) {
    SearchProfile profile;
    profile.given = true;
    profile.light = c.light;
    profile.matches = 2;
    const std::string what =
        std::to_string(c.gain) + " " + std::to_string(c.offset) + (c.light ? " light" : "");
    auto plain = prepared(profile, Kernels::Reference, c.gain, c.offset);
    auto fast = prepared(profile, Kernels::Fast, c.gain, c.offset);
    EXPECT_EQ(report(*fast), report(*plain)) << what;
    ASSERT_EQ(plain->foundCount, c.found ? 1u : 0u) << what << report(*plain);
    if (!c.found) continue;
    EXPECT_NEAR(plain->found[0].y, kPlants[1].row, 2) << what;
    EXPECT_NEAR(plain->found[0].x, kPlants[1].column, 2) << what;
    EXPECT_NEAR(plain->found[0].angleDeg, 90, 1) << what;
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
      EXPECT_NEAR(m.scale, scale, scale * 0.08) << what;  // see scaleRatio: the filter biases it
      // The glyph is drawn at the copy's size.
      EXPECT_DOUBLE_EQ(w->state.matchRadius, kRadius * m.scale) << what;
    }
    if (!reports[1].empty()) {
      EXPECT_EQ(reports[0], reports[1]) << scale;
    }
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
