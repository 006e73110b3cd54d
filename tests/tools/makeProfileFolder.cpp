// Writes a working folder whose archive picture 1 holds the query's
// viewfinder region grown, turned and under other light, as a user would try
// --scales and --light: a 320 x 240 texture as the query with the viewfinder
// at its centre (radius 30, tolerance 16), picture 0 a texture without it.
//
//   orvalis-make-profile-folder DIR SCALE DEGREES GAIN OFFSET

#include <cstdio>
#include <cstdlib>

#include "tests/support/quarterTurn.h"
#include "tests/support/workingFolder.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s DIR SCALE DEGREES GAIN OFFSET\n", argv[0]);
    return 2;
  }
  using namespace orvalis::testing;
  const BgrPicture query = texturedPicture(320, 240, 7, 2.0);
  const BgrPicture other = texturedPicture(320, 240, 8, 2.0);
  const BgrPicture planted = pasteScaled(query, 120, 160, other, 110, 170, 42, std::atof(argv[2]),
                                         std::atof(argv[3]), std::atof(argv[4]), std::atof(argv[5]));
  orvalis::SearchParameters parameters{1, 8, 16, 25, 0, 0, 0};
  parameters.viewfinderX = 160;
  parameters.viewfinderY = 120;
  parameters.viewfinderRadius = 30;
  WorkingFolder(argv[1]).backdrop().parameters(parameters).still(query).archive({other, planted});
  return 0;
}
