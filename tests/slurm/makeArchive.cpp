// Writes a working folder of generated pictures for the job-array test: a
// textured query with the viewfinder at its centre (radius 40, tolerance 8)
// and archive pictures 0 to COUNT-1 of other textures, where the numbers
// named after COUNT hold the viewfinder's square turned a quarter.
//
//   orvalis-make-test-archive DIR COUNT WIDTH HEIGHT [MATCH...]

#include <cstdio>
#include <cstdlib>

#include "tests/support/workingFolder.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s DIR COUNT WIDTH HEIGHT [MATCH...]\n", argv[0]);
    return 2;
  }
  const auto number = [&](int i) { return static_cast<std::uint32_t>(std::atoi(argv[i])); };
  std::set<std::uint32_t> matches;
  for (int i = 5; i < argc; ++i) matches.insert(number(i));
  orvalis::testing::WorkingFolder(argv[1])
      .centredQuery(number(3), number(4))
      .plantedArchive(number(2), matches);
  return 0;
}
