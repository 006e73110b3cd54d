// Feeds arbitrary argument lists (NUL-separated) to the headless tool's option
// parser: it must never crash, and whatever it accepts must be in range.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/orvalis-search/searchToolOptions.h"
#include "state/constants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (!current.empty()) arguments.push_back(current);

  const orvalis::ParsedSearchToolOptions parsed = orvalis::parseSearchToolOptions(arguments);
  if (parsed.ok) {
    const orvalis::SearchToolOptions& o = parsed.options;
    if (o.filterRadius && (*o.filterRadius < 1 || *o.filterRadius > orvalis::kMaxFilterRadius)) std::abort();
    if (o.viewfinderRadius &&
        (*o.viewfinderRadius < 1 || *o.viewfinderRadius > orvalis::kMaxViewfinderRadius)) {
      std::abort();
    }
    if (o.first > o.last) std::abort();
  } else if (parsed.error.empty()) {
    std::abort();  // every refusal says why
  }
  return 0;
}
