// Writes a working folder of generated pictures for the tests that run the
// programs as real processes:
//
//   orvalis-make-test-folder DIR flat BACKDROP
//     1920 x 1080 pictures without texture and the widest tolerance, so that
//     the scan of picture 0 takes minutes (the window's close-during-scan test);
//   orvalis-make-test-folder DIR planted COUNT WIDTH HEIGHT [MATCH...]
//     a textured query with the viewfinder at its centre (radius 40, tolerance
//     8) and archive pictures 0 to COUNT-1 of other textures, where the numbers
//     MATCH hold the viewfinder's square turned a quarter (the job-array test).

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/workingFolder.h"

int main(int argc, char** argv) {
  const auto number = [&](int i) { return static_cast<std::uint32_t>(std::atoi(argv[i])); };
  const std::string kind = argc > 2 ? argv[2] : "";
  orvalis::testing::WorkingFolder folder(argc > 1 ? argv[1] : "");
  if (kind == "flat" && argc == 4) {
    folder.backdrop(argv[3]).flat();
  } else if (kind == "planted" && argc >= 6) {
    std::set<std::uint32_t> matches;
    for (int i = 6; i < argc; ++i) matches.insert(number(i));
    folder.centredQuery(number(4), number(5)).plantedArchive(number(3), matches);
  } else {
    std::fprintf(stderr, "usage: %s DIR flat BACKDROP | DIR planted COUNT WIDTH HEIGHT [MATCH...]\n",
                 argv[0]);
    return 2;
  }
  return 0;
}
