// Writes a working folder of 1920 x 1080 pictures without texture (blurred
// noise) and the widest colour tolerance, so that the scan of one archive
// picture takes minutes: the window's close-during-scan test runs on it.
//
//   orvalis-make-flat-folder DIR BACKDROP

#include <cstdio>
#include <filesystem>

#include "control/archiveWalk.h"
#include "files/parametersFile.h"
#include "tests/support/testSupport.h"

int main(int argc, char** argv) {
  using namespace orvalis;
  namespace fs = std::filesystem;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DIR BACKDROP\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[1];
  fs::create_directories(folder / kArchiveFolder);
  fs::create_directories(folder / "res");
  fs::copy_file(argv[2], folder / "res/Dark_Gray_Square.jpg", fs::copy_options::overwrite_existing);
  SearchParameters parameters = kDefaultParameters;
  parameters.colorTolerance = 255;
  parameters.viewfinderX = 960;
  parameters.viewfinderY = 540;
  parameters.viewfinderRadius = 180;
  if (!writeParametersFile(parameters, (folder / "res/Combo_Box_Parameters.bin").c_str())) return 2;
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    const fs::path file = seed == 1 ? fs::path(kArchiveFolder) / "Current_Image.jpg"
                                    : fs::path(archivePicturePath(kArchiveFolder, seed - 2));
    const auto picture = testing::lowTexturePicture(testing::LowTexture::BlurredNoise, 1920, 1080, seed);
    testing::writeFile(folder / file, testing::encodeJpeg(picture, 95, testing::JpegKind::Color444));
  }
  return 0;
}
