#pragma once

#include <string>

#include "state/searchProfile.h"

namespace orvalis {

// The options of a search profile, one table for both faces: the window and
// orvalis-search take them alike.
struct ProfileOption {
  const char* name;
  bool takesValue;
  const char* meta;  // the value's name in the help, null for a flag
  const char* help;
};
inline constexpr int kProfileOptionCount = 6;
extern const ProfileOption kProfileOptions[kProfileOptionCount];

// The option of that name, or null.
const ProfileOption* findProfileOption(const std::string& name);

// Sets the option's value into profile (and marks it given): empty, or what
// is wrong with the value, in one line.
std::string applyProfileOption(const ProfileOption& option, const std::string& value, SearchProfile& profile);

}  // namespace orvalis
