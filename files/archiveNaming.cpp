#include "files/archiveNaming.h"

namespace orvalis {

ArchiveFileName archiveFileName(std::int32_t archiveIndex) {
  static constexpr char kPrefix[] = "Image_Archive/Image_";
  static constexpr char kSuffix[] = ".jpg";
  ArchiveFileName name{};
  int at = 0;
  for (const char c : kPrefix) {
    if (c != '\0') name.text[at++] = c;
  }
  // Ten zero-padded digits, most significant first.
  std::uint32_t value = static_cast<std::uint32_t>(archiveIndex);
  for (int digit = 9; digit >= 0; --digit) {
    name.text[at + digit] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  at += 10;
  for (const char c : kSuffix) name.text[at++] = c;  // copies the terminator too
  return name;
}

}  // namespace orvalis
