#pragma once

#include <cstdint>
#include <limits>

namespace orvalis {

// The most copies one picture may report (--matches).
inline constexpr std::uint32_t kMaxMatches = 16;

// What a search asks beyond the plain one: several copies a picture, a
// ceiling on the score, a range of turns. The default profile is the plain
// search, result for result.
struct SearchProfile {
  std::uint32_t matches = 1;  // copies reported per picture, 1..kMaxMatches
  // A match whose score is above this is dropped and the scan goes on past it.
  double maxScore = std::numeric_limits<double>::infinity();
  // Turns accepted, degrees as matchAngleDeg: from angleMin up to angleMax,
  // through 0 when angleMin > angleMax (350:10).
  bool angleLimited = false;
  double angleMin = 0, angleMax = 360;
  // Sizes of the copy against the query region searched, every one from
  // scaleMin to scaleMax (0.5 to 2); 1:1 is the query's size alone.
  double scaleMin = 1, scaleMax = 1;
  // Brightness and contrast compensated between template and candidate.
  bool light = false;
  // Any of the above asked for: the reports then carry score and scale.
  bool given = false;
};

// One reported copy: its centre, radius and turn, the scale of the copy
// against the query region (archive size / query size), and its score.
struct FoundMatch {
  std::uint32_t x = 0, y = 0;
  double radius = 0;
  double angle = 0;     // radians
  double angleDeg = 0;  // the consensus angle the radians come from
  double scale = 1;
  double score = 0;
};

// Whether a turn of angleDeg (0 <= angleDeg < 360) lies in the profile's range.
inline bool angleAllowed(const SearchProfile& profile, double angleDeg) {
  if (!profile.angleLimited) return true;
  if (profile.angleMin <= profile.angleMax)
    return angleDeg >= profile.angleMin && angleDeg <= profile.angleMax;
  return angleDeg >= profile.angleMin || angleDeg <= profile.angleMax;
}

}  // namespace orvalis
