// Replays the committed argument lists (NUL-separated) through the option
// parser: it answers each with options in range or with a reason.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/orvalis-search/searchToolOptions.h"
#include "state/constants.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

TEST(OptionsCorpus, EveryArgumentListGetsUsableOptionsOrAReason) {
  const std::filesystem::path folder =
      std::filesystem::path(ORVALIS_SOURCE_DIR) / "tests/data/corpus/options";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++files;
    const auto bytes = testing::readFile(entry.path());
    std::vector<std::string> arguments(1);
    for (const std::uint8_t b : bytes) {
      if (b == 0) {
        arguments.emplace_back();
      } else {
        arguments.back().push_back(static_cast<char>(b));
      }
    }
    const ParsedSearchToolOptions parsed = parseSearchToolOptions(arguments);
    const std::string name = entry.path().filename().string();
    if (!parsed.ok) {
      EXPECT_FALSE(parsed.error.empty()) << name;
      continue;
    }
    const SearchToolOptions& o = parsed.options;
    EXPECT_LE(o.filterRadius.value_or(1), kMaxFilterRadius) << name;
    EXPECT_LE(o.viewfinderRadius.value_or(1), kMaxViewfinderRadius) << name;
    EXPECT_LE(o.first, o.last) << name;
  }
  EXPECT_GE(files, 5);
}

}  // namespace
}  // namespace orvalis
