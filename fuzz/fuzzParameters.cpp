// Feeds arbitrary records to the parameters file reader and checks that what
// reaches the program is always usable and that a written record reads back.

#include <cstdint>
#include <cstdlib>

#include "files/parametersFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvalis::SearchParameters p{1, 2, 3, 4, 5, 6, 7};
  orvalis::decodeParameters(data, size, p);
  orvalis::sanitizeParameters(p);
  if (p.framesPerSecond == 0 || p.filterRadius > orvalis::kMaxFilterRadius ||
      p.viewfinderRadius > orvalis::kMaxViewfinderRadius) {
    std::abort();
  }
  std::uint8_t bytes[orvalis::kParametersFileSize];
  orvalis::encodeParameters(p, bytes);
  orvalis::SearchParameters back{};
  orvalis::decodeParameters(bytes, sizeof bytes, back);
  if (!(back == p)) std::abort();
  return 0;
}
