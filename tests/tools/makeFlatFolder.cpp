// Writes a working folder whose pictures have no texture (blurred noise, two
// seeds), so that a scan of one archive picture takes long: the window's
// responsiveness test runs on it.
//
//   orvalis-make-flat-folder DIR BACKDROP TOLERANCE

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "control/archiveWalk.h"
#include "files/parametersFile.h"
#include "tests/support/testSupport.h"

int main(int argc, char** argv) {
  using namespace orvalis;
  namespace fs = std::filesystem;
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DIR BACKDROP TOLERANCE\n", argv[0]);
    return 2;
  }
  constexpr std::uint32_t kWidth = 1920, kHeight = 1080;
  const fs::path folder = argv[1];
  fs::create_directories(folder / "res");
  fs::create_directories(folder / kArchiveFolder);
  fs::copy_file(argv[2], folder / "res/Dark_Gray_Square.jpg", fs::copy_options::overwrite_existing);
  SearchParameters parameters = kDefaultParameters;
  parameters.colorTolerance = static_cast<std::uint8_t>(std::atoi(argv[3]));
  parameters.viewfinderX = kWidth / 2;
  parameters.viewfinderY = kHeight / 2;
  parameters.viewfinderRadius = kHeight / 6;
  if (!writeParametersFile(parameters, (folder / "res/Combo_Box_Parameters.bin").c_str())) {
    std::fprintf(stderr, "%s: cannot write the parameters in %s\n", argv[0], argv[1]);
    return 2;
  }
  const auto write = [&](const fs::path& file, std::uint32_t seed) {
    const testing::BgrPicture picture =
        testing::lowTexturePicture(testing::LowTexture::BlurredNoise, kWidth, kHeight, seed);
    testing::writeFile(folder / file, testing::encodeJpeg(picture, 95, testing::JpegKind::Color444));
  };
  write(fs::path(kArchiveFolder) / "Current_Image.jpg", 1);
  write(archivePicturePath(kArchiveFolder, 0), 2);
  write(archivePicturePath(kArchiveFolder, 1), 3);
  return 0;
}
