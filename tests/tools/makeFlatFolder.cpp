// Writes a working folder of 1920 x 1080 pictures without texture (blurred
// noise) and the widest colour tolerance, so that the scan of one archive
// picture takes minutes: the window's close-during-scan test runs on it.
//
//   orvalis-make-flat-folder DIR BACKDROP

#include <cstdio>

#include "tests/support/workingFolder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DIR BACKDROP\n", argv[0]);
    return 2;
  }
  orvalis::testing::WorkingFolder(argv[1]).backdrop(argv[2]).flat();
  return 0;
}
