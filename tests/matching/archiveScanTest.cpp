#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/circularMeanFilter.h"
#include "matching/admissibleCentre.h"
#include "matching/archiveScan.h"
#include "matching/candidateTest.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "tests/matching/matchingHelpers.h"
#include "tests/support/quarterTurn.h"

namespace orvalis {
namespace {

using testing::fillPlane;
using testing::freshWorkspace;

// A template of pure black: every ring sample is exactly 0, so any candidate
// whose samples stay within the tolerance of 0 passes with all rings at shift
// 0 (every shift has the same sum, summed in the same order), and its score
// is the sum of its ring means. The archive plane then shapes the search.
std::unique_ptr<Workspace> blackTemplate(std::uint32_t width, std::uint32_t height, std::uint32_t radius) {
  auto workspace = freshWorkspace(width, height);
  SearchState& state = workspace->state;
  state.viewfinderX = width / 2;
  state.viewfinderY = height / 2;
  state.viewfinderRadius = radius;
  EXPECT_EQ(buildTemplateSignature(*workspace), 1);
  EXPECT_EQ(buildTemplateHistograms(state), 1);
  state.matchX = state.matchY = 7;
  state.matchAngle = 0.7;
  return workspace;
}

TEST(AdmissibleCentre, KeepsTheDiscAndOnePixelInside) {
  // R = 40 on 320 x 240: rows 41..198, columns 41..278.
  EXPECT_EQ(isAdmissibleCentre(41, 41, 40, 320, 240), 1);
  EXPECT_EQ(isAdmissibleCentre(198, 278, 40, 320, 240), 1);
  EXPECT_EQ(isAdmissibleCentre(40, 100, 40, 320, 240), 0);
  EXPECT_EQ(isAdmissibleCentre(199, 100, 40, 320, 240), 0);
  EXPECT_EQ(isAdmissibleCentre(100, 40, 40, 320, 240), 0);
  EXPECT_EQ(isAdmissibleCentre(100, 279, 40, 320, 240), 0);
  // Tiny pictures don't wrap around.
  EXPECT_EQ(isAdmissibleCentre(1, 1, 0, 1, 1), 0);
}

TEST(ScanArchiveImage, FirstAdmissibleCentreOfAUniformPictureWins) {
  auto workspace = blackTemplate(320, 240, 40);
  EXPECT_EQ(scanArchiveImage(*workspace, 40), 1);
  const SearchState& state = workspace->state;
  // Every centre scores 0; none later replaces the first.
  EXPECT_EQ(state.matchY, 41u);
  EXPECT_EQ(state.matchX, 41u);
  EXPECT_EQ(state.matchRadius, 40);
  EXPECT_EQ(state.matchAngle, 0.0);
}

TEST(ScanArchiveImage, LastAdmissibleCentreIsVisitedAndNothingBeyond) {
  // Black only in the bottom-right corner; everything else white.
  for (const std::uint32_t corner : {0u, 1u}) {
    auto workspace = blackTemplate(320, 240, 40);
    fillPlane(workspace->images.archiveGray, 320, 240,
              [&](auto y, auto x) { return y >= 158 + corner && x >= 238 + corner ? 0 : 255; });
    const int found = scanArchiveImage(*workspace, 40);
    const SearchState& state = workspace->state;
    if (corner == 0) {
      // The disc at (198, 278) touches row 158 and column 238.
      ASSERT_EQ(found, 1);
      EXPECT_EQ(state.matchY, 198u);
      EXPECT_EQ(state.matchX, 278u);
    } else {
      // Only (199, 279) would fit, and it is not admissible.
      EXPECT_EQ(found, 0);
      EXPECT_EQ(state.matchFound, 0);
      EXPECT_EQ(state.matchX, 7u);  // the earlier result stays
      EXPECT_EQ(state.matchAngle, 0.7);
    }
  }
}

TEST(ScanArchiveImage, PictureTooSmallForTheDiscHasNoCentre) {
  // 2R + 2 rows: none; 2R + 3 rows: the single row R + 1.
  auto workspace = blackTemplate(120, 120, 40);
  workspace->state.archiveHeight = 82;
  EXPECT_EQ(scanArchiveImage(*workspace, 40), 0);
  workspace->state.archiveHeight = 83;
  ASSERT_EQ(scanArchiveImage(*workspace, 40), 1);
  EXPECT_EQ(workspace->state.matchY, 41u);
}

TEST(ScanArchiveImage, RefinementWindowStaysOnTheFirstHit) {
  // A faint haze (gray 1) over the columns left of 40. The first hit is the
  // top-left admissible centre (21, 21); the score falls as the disc leaves
  // the haze, so the best of the window is its rightmost position (21, 31),
  // while a window that followed the best centre would walk on to the right.
  auto workspace = blackTemplate(200, 80, 20);
  fillPlane(workspace->images.archiveGray, 200, 80, [](auto, auto x) { return x < 40 ? 1 : 0; });
  ASSERT_EQ(scanArchiveImage(*workspace, 20), 1);
  EXPECT_EQ(workspace->state.matchY, 21u);
  EXPECT_EQ(workspace->state.matchX, 31u);
}

TEST(ScanArchiveImage, RefinementWindowIsTheDiscOfRadiusTen) {
  // Haze where 3 row + 4 column < 207: the score falls along (3, 4), whose
  // furthest point in the window is offset (6, 8) at distance exactly 10.
  // A square window would reach (10, 10); offset (8, 7) scores better but
  // lies outside.
  auto workspace = blackTemplate(200, 120, 20);
  fillPlane(workspace->images.archiveGray, 200, 120,
            [](auto y, auto x) { return 3 * y + 4 * x < 207 ? 1 : 0; });
  ASSERT_EQ(scanArchiveImage(*workspace, 20), 1);
  EXPECT_EQ(workspace->state.matchY, 21u + 6);
  EXPECT_EQ(workspace->state.matchX, 21u + 8);

  // The window's own positions, for the record: 317 of them.
  int positions = 0;
  for (int dy = -kRefinementRadius; dy <= kRefinementRadius; ++dy) {
    for (int dx = -kRefinementRadius; dx <= kRefinementRadius; ++dx) {
      if (dy * dy + dx * dx <= kRefinementRadius * kRefinementRadius) ++positions;
    }
  }
  EXPECT_EQ(positions, 317);
}

TEST(ScanArchiveImage, UnusableRadiusFindsNothing) {
  auto workspace = freshWorkspace(120, 120);
  SearchState& state = workspace->state;
  state.viewfinderX = state.viewfinderY = 60;
  state.viewfinderRadius = 0;
  EXPECT_EQ(buildTemplateSignature(*workspace), 0);
  for (const double radius : {0.0, 0.3, 251.0, std::nan("")}) {
    state.matchFound = 1;
    EXPECT_EQ(scanArchiveImage(*workspace, radius), 0) << radius;
    EXPECT_EQ(state.matchFound, 0) << radius;
    EXPECT_FALSE(std::isnan(state.matchAngle));
  }
}

class ScanOfTexture : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kSize = 161, kCentre = 80, kRadius = 40;
  void SetUp() override {
    query = testing::texturedPicture(kSize, kSize, 21);
    workspace = freshWorkspace(kSize, kSize);
    SearchState& state = workspace->state;
    state.viewfinderX = state.viewfinderY = kCentre;
    state.viewfinderRadius = kRadius;
    testing::splitIntoQuery(*workspace, query);
    ASSERT_EQ(buildTemplateSignature(*workspace), 1);
    ASSERT_EQ(buildTemplateHistograms(state), 1);
  }
  int scan(const testing::BgrPicture& archive) {
    testing::splitIntoArchive(*workspace, archive);
    EXPECT_EQ(filterArchiveImage(*workspace), 1);
    return scanArchiveImage(*workspace, kRadius);
  }
  testing::BgrPicture query;
  std::unique_ptr<Workspace> workspace;
};

TEST_F(ScanOfTexture, IdenticalPictureMatchesAtTheViewfinderWithAngleZero) {
  ASSERT_EQ(scan(query), 1);
  const SearchState& state = workspace->state;
  EXPECT_EQ(state.matchX, kCentre);
  EXPECT_EQ(state.matchY, kCentre);
  EXPECT_EQ(state.matchAngle, 0.0);
  // Same planes, same filter: the archive gray plane is the query's.
  for (std::size_t i = 0; i < kSize * kSize; ++i) {
    ASSERT_EQ(workspace->images.archiveGray[i], workspace->images.queryGray[i]);
  }
}

TEST_F(ScanOfTexture, QuarterTurnIsFoundAtNinetyDegrees) {
  const testing::BgrPicture turned =
      testing::pasteQuarterTurn(query, kCentre, kCentre, query, kCentre, kCentre, kCentre);
  ASSERT_EQ(scan(turned), 1);
  const SearchState& state = workspace->state;
  EXPECT_EQ(state.matchX, kCentre);
  EXPECT_EQ(state.matchY, kCentre);
  // Ring 9 has 800 samples: a quarter is exactly 200 of them.
  EXPECT_NEAR(state.consensusAngleDeg, 90.0, 1e-9);
  EXPECT_NEAR(state.matchAngle, 1.57079632675, 1e-12);
}

TEST_F(ScanOfTexture, UnrelatedTextureHasNoMatch) {
  workspace->state.matchFound = 1;
  EXPECT_EQ(scan(testing::texturedPicture(kSize, kSize, 22)), 0);
  EXPECT_EQ(workspace->state.matchFound, 0);
}

TEST(FilterArchiveImage, FiltersWithTheCurrentRadiusAndRefusesAnOversizedOne) {
  auto workspace = freshWorkspace(64, 48);
  SearchState& state = workspace->state;
  testing::splitIntoArchive(*workspace, testing::texturedPicture(64, 48, 5));
  state.filterRadius = 3;
  ASSERT_EQ(filterArchiveImage(*workspace), 1);
  EXPECT_EQ(workspace->images.discMaskCount, 29u);
  const ImageStore& images = workspace->images;
  const std::size_t at = 20 * 64 + 30;
  EXPECT_EQ(images.archiveGray[at],
            (images.archiveFilteredB[at] + images.archiveFilteredG[at] + images.archiveFilteredR[at]) / 3);
  const std::vector<std::uint8_t> wide(images.archiveFilteredB.data(),
                                       images.archiveFilteredB.data() + 64 * 48);

  state.filterRadius = 1;
  ASSERT_EQ(filterArchiveImage(*workspace), 1);
  EXPECT_EQ(workspace->images.discMaskCount, 5u);
  EXPECT_NE(
      std::vector<std::uint8_t>(images.archiveFilteredB.data(), images.archiveFilteredB.data() + 64 * 48),
      wide);

  state.filterRadius = 21;
  const std::uint8_t gray = images.archiveGray[at];
  EXPECT_EQ(filterArchiveImage(*workspace), 0);
  EXPECT_EQ(images.archiveGray[at], gray);
  EXPECT_EQ(workspace->images.discMaskCount, 5u);
}

}  // namespace
}  // namespace orvalis
