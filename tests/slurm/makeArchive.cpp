// Writes a working folder of generated pictures for the job-array test and
// for timing runs: a textured query, the parameters (viewfinder at the
// picture's centre, radius 40, tolerance 8), and archive pictures 0 to
// COUNT-1 of other textures, where the numbers named after COUNT get the
// viewfinder's square pasted in turned by a quarter.
//
//   orvalis-make-test-archive DIR COUNT WIDTH HEIGHT [MATCH...]

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "control/archiveWalk.h"
#include "files/parametersFile.h"
#include "tests/support/quarterTurn.h"
#include "tests/support/testSupport.h"

namespace {

bool number(const char* text, unsigned long& value) {
  char* end = nullptr;
  value = std::strtoul(text, &end, 10);
  return *text != '\0' && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvalis;
  namespace fs = std::filesystem;
  unsigned long count = 0, width = 0, height = 0;
  if (argc < 5 || !number(argv[2], count) || !number(argv[3], width) || !number(argv[4], height) ||
      width < 100 || height < 100 || width > 1920 || height > 1200) {
    std::fprintf(stderr, "usage: %s DIR COUNT WIDTH HEIGHT [MATCH...] (100 to 1920 x 1200 pixels)\n",
                 argv[0]);
    return 2;
  }
  std::set<unsigned long> matches;
  for (int i = 5; i < argc; ++i) {
    unsigned long match = 0;
    if (!number(argv[i], match) || match >= count) {
      std::fprintf(stderr, "%s: match '%s' is not an archive number below %lu\n", argv[0], argv[i], count);
      return 2;
    }
    matches.insert(match);
  }

  const fs::path folder = argv[1];
  const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
  const std::uint32_t x = w / 2, y = h / 2;
  const auto write = [&](const fs::path& file, const testing::BgrPicture& picture) {
    testing::writeFile(folder / file, testing::encodeJpeg(picture, 100, testing::JpegKind::Color444));
  };
  fs::create_directories(folder / "res");
  fs::create_directories(folder / kArchiveFolder);
  SearchParameters parameters = kDefaultParameters;
  parameters.colorTolerance = 8;
  parameters.viewfinderX = x;
  parameters.viewfinderY = y;
  parameters.viewfinderRadius = 40;
  if (!writeParametersFile(parameters, (folder / "res/Combo_Box_Parameters.bin").c_str())) {
    std::fprintf(stderr, "%s: cannot write the parameters in %s\n", argv[0], argv[1]);
    return 2;
  }
  const testing::BgrPicture query = testing::texturedPicture(w, h, 31);
  write(fs::path(kArchiveFolder) / "Current_Image.jpg", query);
  for (std::uint32_t index = 0; index < count; ++index) {
    const testing::BgrPicture background = testing::texturedPicture(w, h, 40 + index);
    write(archivePicturePath(kArchiveFolder, index),
          matches.count(index) ? testing::pasteQuarterTurn(query, y, x, background, y - 5, x + 20, 52)
                               : background);
  }
  return 0;
}
