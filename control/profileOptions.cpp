#include "control/profileOptions.h"

#include <cstdint>

namespace orvalis {

namespace {

// Plain decimals: digits, at most one point with digits on both sides, at
// most 12 characters; no sign, no exponent, nothing that is not a number.
bool parseDecimal(const std::string& text, double maximum, double& value) {
  if (text.empty() || text.size() > 12 || text.front() == '.' || text.back() == '.') return false;
  bool point = false;
  double whole = 0, scale = 1;
  for (const char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      whole = whole * 10 + (c - '0');
      if (point) scale *= 10;
    } else {
      return false;
    }
  }
  if (whole / scale > maximum) return false;
  value = whole / scale;
  return true;
}

// "MIN:MAX" of two decimals up to maximum.
bool parseRange(const std::string& text, double maximum, double& low, double& high) {
  const std::size_t colon = text.find(':');
  return colon != std::string::npos && parseDecimal(text.substr(0, colon), maximum, low) &&
         parseDecimal(text.substr(colon + 1), maximum, high);
}

}  // namespace

const ProfileOption kProfileOptions[kProfileOptionCount] = {
    {"--matches", true, "N",
     "report up to N copies a picture (1 to 16), no two centres closer than the smaller of their radii, in "
     "the order found; with N above 1 each line lists them all under \"matches\" (--matches 3)"},
    {"--max-score", true, "X",
     "drop copies whose score is above X and go on past them; the score is the mean difference in gray "
     "levels "
     "between the copy's ring samples, turned back, and the template's, so lower is better and 0 is the "
     "template itself (--max-score 4)"},
    {"--min-score", true, "X", "refused: lower scores are better, so the bound is --max-score"},
    {"--angles", true, "MIN:MAX",
     "accept only turns from MIN to MAX degrees (0 to 360, as matchAngleDeg); a range with MIN above MAX "
     "wraps through 0 (--angles 350:10)"},
    {"--scales", true, "MIN:MAX",
     "find copies of every size from MIN to MAX times the viewfinder region (0.5 to 2), in steps fine enough "
     "for the ring tests; each match reports its scale (--scales 0.9:1.1)"},
    {"--light", false, nullptr,
     "compensate brightness and contrast (gain 0.8 to 1.25, offset -30 to +30 gray levels) between the "
     "template disc and each candidate before the tolerance tests; a compensated copy must also score at "
     "most "
     "a quarter of the tolerance (--light)"},
};

const ProfileOption* findProfileOption(const std::string& name) {
  for (const ProfileOption& option : kProfileOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::string applyProfileOption(const ProfileOption& option, const std::string& value,
                               SearchProfile& profile) {
  const std::string name = option.name;
  const std::string quoted = "'" + value + "'";
  if (name == "--matches") {
    double count = 0;
    if (!parseDecimal(value, kMaxMatches, count) || count < 1 || value.find('.') != std::string::npos) {
      return quoted + " is not a whole number from 1 to " + std::to_string(kMaxMatches);
    }
    profile.matches = static_cast<std::uint32_t>(count);
  } else if (name == "--max-score") {
    if (!parseDecimal(value, 255, profile.maxScore)) return quoted + " is not a score from 0 to 255";
  } else if (name == "--min-score") {
    return "lower scores are better here (0 is the template itself); use --max-score";
  } else if (name == "--angles") {
    if (!parseRange(value, 360, profile.angleMin, profile.angleMax)) {
      return quoted + " is not MIN:MAX, two angles from 0 to 360 degrees";
    }
    profile.angleLimited = true;
  } else if (name == "--scales") {
    double low = 0, high = 0;
    if (!parseRange(value, 2, low, high) || low < 0.5 || low > high) {
      return quoted + " is not MIN:MAX, two sizes from 0.5 to 2 with MIN at most MAX";
    }
    profile.scaleMin = low;
    profile.scaleMax = high;
  } else {
    profile.light = true;
  }
  profile.given = true;
  return "";
}

}  // namespace orvalis
