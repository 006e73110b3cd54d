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

TEST(AlignRing, IdenticalProfilesGiveAngleZero) {
  const Profile profile = texturedProfile(800, 3);
  double angle = -1;
  ASSERT_EQ(alignRing(profile.data(), 800, profile.data(), 16, angle), 1);
  EXPECT_EQ(angle, 0.0);
}

TEST(AlignRing, ShiftedProfileGivesItsAngle) {
  const Profile templateProfile = texturedProfile(800, 5);
  for (const std::uint32_t shift : {1u, 200u, 400u, 799u}) {
    const Profile candidate = shifted(templateProfile, shift);
    double angle = -1;
    ASSERT_EQ(alignRing(candidate.data(), 800, templateProfile.data(), 16, angle), 1);
    EXPECT_EQ(angle, ((shift * (6.283185307 / 800)) * 180.0) / 3.1415926535) << shift;
    EXPECT_NEAR(angle, shift * 360.0 / 800, 1e-7) << shift;
  }
}

TEST(AlignRing, NearlyMatchingProfilesPickTheSmallestSum) {
  // Noise within the tolerance everywhere: several shifts qualify on a smooth
  // profile, and the true one has the smallest sum.
  const std::uint32_t n = 711;
  Profile templateProfile(n);
  for (std::uint32_t j = 0; j < n; ++j) templateProfile[j] = 128 + 100 * std::sin(j * 6.283185307 / n);
  Profile candidate = shifted(templateProfile, 178);
  std::mt19937 rng(17);
  for (auto& v : candidate) v += static_cast<double>(rng() % 7) - 3;
  double angle = -1;
  ASSERT_EQ(alignRing(candidate.data(), n, templateProfile.data(), 16, angle), 1);
  EXPECT_NEAR(angle, 178 * 360.0 / n, 1e-7);
}

TEST(AlignRing, ConstantProfilesAndEqualSumsKeepTheSmallestShift) {
  const Profile flat(100, 77.0);
  double angle = -1;
  ASSERT_EQ(alignRing(flat.data(), 100, flat.data(), 16, angle), 1);
  EXPECT_EQ(angle, 0.0);

  // A profile of period 4 in 8 samples: shifts 1 and 5 both fit exactly.
  const Profile periodic = {0, 10, 20, 30, 0, 10, 20, 30};
  const Profile candidate = shifted(periodic, 5);
  ASSERT_EQ(alignRing(candidate.data(), 8, periodic.data(), 16, angle), 1);
  EXPECT_NEAR(angle, 45.0, 1e-7);
}

TEST(AlignRing, SampleToleranceIsInclusiveAndOneOverDisqualifies) {
  Profile templateProfile(50, 100.0), candidate(50, 100.0);
  candidate[17] = 116;
  double angle = -1;
  EXPECT_EQ(alignRing(candidate.data(), 50, templateProfile.data(), 16, angle), 1);
  EXPECT_EQ(angle, 0.0);
  candidate[17] = 117;  // beyond the tolerance at every shift
  angle = -1;
  EXPECT_EQ(alignRing(candidate.data(), 50, templateProfile.data(), 16, angle), 0);
  EXPECT_EQ(angle, -1);
  EXPECT_EQ(alignRing(candidate.data(), 0, templateProfile.data(), 16, angle), 0);
  EXPECT_EQ(angle, -1);
}

class RingAngles : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::uint32_t counts[9] = {88, 177, 266, 355, 444, 533, 622, 711, 800};  // R = 40
    for (int ring = 0; ring < 9; ++ring) state->ringSampleCount[ring] = counts[ring];
    state->colorTolerance = 16;
    state->consensusAngleDeg = -1;
  }
  void setAngles(std::initializer_list<double> angles) {
    int ring = 0;
    for (const double angle : angles) state->ringAngleDeg[ring++] = angle;
  }
  std::unique_ptr<SearchState> state = std::make_unique<SearchState>();
};

TEST_F(RingAngles, AlignAllRingsStopsAtTheFirstRingWithoutAFit) {
  for (int ring = 0; ring < 9; ++ring) {
    const std::uint32_t n = state->ringSampleCount[ring];
    const Profile templateProfile = texturedProfile(n, 40 + ring);
    const Profile candidate = shifted(templateProfile, n / 4);
    std::copy(templateProfile.begin(), templateProfile.end(), state->templateRingProfile[ring]);
    std::copy(candidate.begin(), candidate.end(), state->candidateRingProfile[ring]);
    state->ringAngleDeg[ring] = -1;
  }
  ASSERT_EQ(alignAllRings(*state), 1);
  for (int ring = 0; ring < 9; ++ring) {
    EXPECT_NEAR(state->ringAngleDeg[ring], 90.0, 360.0 / state->ringSampleCount[ring]) << ring;
  }

  for (auto& angle : state->ringAngleDeg) angle = -1;
  state->candidateRingProfile[3][10] += 200;  // fits no shift
  EXPECT_EQ(alignAllRings(*state), 0);
  for (int ring = 0; ring < 3; ++ring) EXPECT_NE(state->ringAngleDeg[ring], -1) << ring;
  for (int ring = 3; ring < 9; ++ring) EXPECT_EQ(state->ringAngleDeg[ring], -1) << ring;
}

TEST_F(RingAngles, ConsensusIsTheOutermostReferenceAngle) {
  setAngles({90.2, 90.1, 90.1, 90.1, 90.1, 90.1, 90.1, 90.1, 90.0});
  ASSERT_EQ(agreeOnAngle(*state), 1);
  EXPECT_EQ(state->consensusAngleDeg, 90.0);
  for (int ring = 0; ring < 9; ++ring)
    EXPECT_EQ(state->ringAngleStep[ring], 360.0 / state->ringSampleCount[ring]);
}

TEST_F(RingAngles, ReferenceWithThreeAgreeingRingsGivesWayToTheNextOne) {
  // Ring 8 has rings 6, 5, 4; ring 7 has rings 3..0.
  setAngles({50, 50, 50, 50, 10, 10, 10, 50, 10});
  ASSERT_EQ(agreeOnAngle(*state), 1);
  EXPECT_EQ(state->consensusAngleDeg, 50);
}

TEST_F(RingAngles, InnermostReferenceIsRingFour) {
  setAngles({10, 10, 10, 10, 10, 100, 150, 200, 250});
  ASSERT_EQ(agreeOnAngle(*state), 1);
  EXPECT_EQ(state->consensusAngleDeg, 10);
}

TEST_F(RingAngles, TheReferenceItselfIsNotCounted) {
  // Ring 4 with three agreeing inner rings; counting ring 4 itself would make four.
  setAngles({10, 10, 10, 300, 10, 100, 150, 200, 250});
  EXPECT_EQ(agreeOnAngle(*state), 0);
  EXPECT_EQ(state->consensusAngleDeg, -1);
}

TEST_F(RingAngles, DifferenceIsCircular) {
  // 359.9 and 0.1 are 0.2 apart; every step here is at least 0.45 degrees.
  setAngles({0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 359.9});
  ASSERT_EQ(agreeOnAngle(*state), 1);
  EXPECT_EQ(state->consensusAngleDeg, 359.9);
}

TEST_F(RingAngles, ToleranceIsHalfTheInnerRingStep) {
  // Ring 8 is coarse (3.6 degrees a step), the inner rings fine (0.36): 0.2
  // apart is within half of the reference's step but not of the inner ones'.
  for (auto& count : state->ringSampleCount) count = 1000;
  state->ringSampleCount[8] = 100;
  setAngles({0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 359.9});
  ASSERT_EQ(agreeOnAngle(*state), 1);
  EXPECT_EQ(state->consensusAngleDeg, 0.1);  // ring 7's; ring 8 found no agreement

  // Exactly half a step agrees.
  for (auto& count : state->ringSampleCount) count = 100;
  setAngles({1.8, 1.8, 1.8, 1.8, 9, 9, 9, 9, 0});
  ASSERT_EQ(agreeOnAngle(*state), 1);
  EXPECT_EQ(state->consensusAngleDeg, 0);
}

TEST_F(RingAngles, EmptyRingNeverAgrees) {
  setAngles({0, 0, 0, 0, 0, 0, 0, 0, 0});
  state->ringSampleCount[2] = 0;
  EXPECT_EQ(agreeOnAngle(*state), 0);
  EXPECT_EQ(state->consensusAngleDeg, -1);
}

}  // namespace
}  // namespace orvalis
