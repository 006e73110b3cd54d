// Writes a working folder of generated pictures for the job-array test: a
// textured query, the parameters (viewfinder at the centre, radius 40,
// tolerance 8), and archive pictures 0 to COUNT-1 of other textures, where
// the numbers named after COUNT get the viewfinder's square turned a quarter.
//
//   orvalis-make-test-archive DIR COUNT WIDTH HEIGHT [MATCH...]

#include <cstdio>
#include <cstdlib>
#include <set>

#include "control/archiveWalk.h"
#include "files/parametersFile.h"
#include "tests/support/quarterTurn.h"
#include "tests/support/testSupport.h"

int main(int argc, char** argv) {
  using namespace orvalis;
  namespace fs = std::filesystem;
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s DIR COUNT WIDTH HEIGHT [MATCH...]\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[1];
  const auto count = static_cast<std::uint32_t>(std::atoi(argv[2]));
  const auto w = static_cast<std::uint32_t>(std::atoi(argv[3])),
             h = static_cast<std::uint32_t>(std::atoi(argv[4]));
  std::set<std::uint32_t> matches;
  for (int i = 5; i < argc; ++i) matches.insert(static_cast<std::uint32_t>(std::atoi(argv[i])));
  const auto write = [&](const fs::path& file, const testing::BgrPicture& picture) {
    testing::writeFile(folder / file, testing::encodeJpeg(picture, 100, testing::JpegKind::Color444));
  };
  fs::create_directories(folder / "res");
  fs::create_directories(folder / kArchiveFolder);
  SearchParameters parameters = kDefaultParameters;
  parameters.colorTolerance = 8;
  parameters.viewfinderX = w / 2;
  parameters.viewfinderY = h / 2;
  parameters.viewfinderRadius = 40;
  if (!writeParametersFile(parameters, (folder / "res/Combo_Box_Parameters.bin").c_str())) return 2;
  const testing::BgrPicture query = testing::texturedPicture(w, h, 31);
  write(fs::path(kArchiveFolder) / "Current_Image.jpg", query);
  for (std::uint32_t index = 0; index < count; ++index) {
    const testing::BgrPicture background = testing::texturedPicture(w, h, 40 + index);
    write(archivePicturePath(kArchiveFolder, index),
          matches.count(index)
              ? testing::pasteQuarterTurn(query, h / 2, w / 2, background, h / 2 - 5, w / 2 + 20, 52)
              : background);
  }
  return 0;
}
