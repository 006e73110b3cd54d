// Working folders of generated pictures for the real-process tests:
//   orvalis-make-test-folder DIR flat BACKDROP   (a scan of minutes: WorkingFolder::flat)
//   orvalis-make-test-folder DIR planted COUNT WIDTH HEIGHT [MATCH...]   (WorkingFolder::plantedArchive)

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
