#pragma once

#include <cstdint>

namespace orvalis {

// "Image_Archive/Image_NNNNNNNNNN.jpg": 34 characters and the terminator, held
// in place so that forming a name allocates nothing.
struct ArchiveFileName {
  char text[35];
  const char* c_str() const { return text; }
};

// The ten digits are archiveIndex read as an unsigned 32-bit number, so -1
// gives 4294967295 (a file no archive numbered from zero holds).
ArchiveFileName archiveFileName(std::int32_t archiveIndex);

}  // namespace orvalis
