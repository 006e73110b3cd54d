#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "matching/rotationEstimate.h"

namespace orvalis {
namespace {

using Profile = std::vector<double>;

Profile texturedProfile(std::uint32_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Profile profile(n);
  double value = 128;
  for (auto& v : profile) {
    value = std::fmin(250, std::fmax(5, value + static_cast<double>(rng() % 21) - 10));
    v = value;
  }
  return profile;
}

Profile shifted(const Profile& profile, std::uint32_t shift) {
  Profile result(profile.size());
  for (std::size_t j = 0; j < profile.size(); ++j) result[j] = profile[(j + shift) % profile.size()];
  return result;
}

// Ties, the tolerance and the early exits are alignRingFast's too, which
// AlignRingFast holds to this one shift for shift; here the angles.
TEST(AlignRing, FindsTheShiftWithTheSmallestSumAndGivesItsAngle) {
  const Profile textured = texturedProfile(800, 5);
  Profile smooth(711);
  for (std::uint32_t j = 0; j < 711; ++j) smooth[j] = 128 + 100 * std::sin(j * 6.283185307 / 711);
  // Noise within the tolerance: several shifts of the smooth profile
  // qualify, and the true one has the smallest sum.
  Profile noisy = shifted(smooth, 178);
  std::mt19937 rng(17);
  for (auto& v : noisy) v += static_cast<double>(rng() % 7) - 3;
  const struct {
    Profile candidate, templateProfile;
    double degrees;
  } cases[] = {{textured, textured, 0.0},
               {shifted(textured, 1), textured, 0.45},
               {shifted(textured, 200), textured, 90.0},
               {shifted(textured, 799), textured, 359.55},
               {noisy, smooth, 178 * 360.0 / 711}};
  for (const auto& c : cases) {
    double angle = -1;
    ASSERT_EQ(alignRing(c.candidate.data(), static_cast<std::uint32_t>(c.candidate.size()),
                        c.templateProfile.data(), 16, angle),
              1);
    EXPECT_NEAR(angle, c.degrees, 1e-7);
  }
  double angle = -1;
  EXPECT_EQ(alignRing(textured.data(), 0, textured.data(), 16, angle), 0);
  EXPECT_EQ(angle, -1);
}

TEST(AgreeOnAngle, IsTheOutermostReferenceWithFourInnerRingsWithinHalfTheirStep) {
  auto state = std::make_unique<SearchState>();
  const std::uint32_t counts[9] = {88, 177, 266, 355, 444, 533, 622, 711, 800};  // R = 40
  const struct {
    const char* what;
    std::vector<double> angles;
    std::uint32_t count, outerCount;  // 0: the counts of R = 40
    double consensus;                 // -1: none
  } cases[] = {
      {"all agree", {90.2, 90.1, 90.1, 90.1, 90.1, 90.1, 90.1, 90.1, 90.0}, 0, 0, 90.0},
      // Ring 8 has rings 6, 5, 4; ring 7 has rings 3..0.
      {"three give way", {50, 50, 50, 50, 10, 10, 10, 50, 10}, 0, 0, 50},
      {"innermost reference is ring 4", {10, 10, 10, 10, 10, 100, 150, 200, 250}, 0, 0, 10},
      {"the reference itself is not counted", {10, 10, 10, 300, 10, 100, 150, 200, 250}, 0, 0, -1},
      {"circular", {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 359.9}, 0, 0, 359.9},
      // 0.2 apart: within half of ring 8's step (3.6) but not of the inner
      // rings' (0.36), so ring 7 gives the angle.
      {"the inner ring's step", {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 359.9}, 1000, 100, 0.1},
      {"exactly half a step", {1.8, 1.8, 1.8, 1.8, 9, 9, 9, 9, 0}, 100, 100, 0},
      {"a touch over half a step", {1.81, 1.81, 1.81, 1.81, 9, 9, 9, 9, 0}, 100, 100, -1},
  };
  for (const auto& c : cases) {
    for (int ring = 0; ring < 9; ++ring) {
      state->ringSampleCount[ring] = c.count == 0 ? counts[ring] : ring == 8 ? c.outerCount : c.count;
      state->ringAngleDeg[ring] = c.angles[ring];
    }
    state->consensusAngleDeg = -1;
    EXPECT_EQ(agreeOnAngle(*state), c.consensus != -1) << c.what;
    EXPECT_EQ(state->consensusAngleDeg, c.consensus) << c.what;
    EXPECT_EQ(state->ringAngleStep[8], 360.0 / state->ringSampleCount[8]) << c.what;
  }
  state->ringSampleCount[2] = 0;  // an empty ring never agrees
  state->consensusAngleDeg = -1;
  EXPECT_EQ(agreeOnAngle(*state), 0);
  EXPECT_EQ(state->consensusAngleDeg, -1);
}

}  // namespace
}  // namespace orvalis
