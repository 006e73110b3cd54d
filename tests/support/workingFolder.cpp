#include "tests/support/workingFolder.h"

#include <stdexcept>

#include "control/archiveWalk.h"
#include "files/parametersFile.h"
#include "tests/support/quarterTurn.h"

namespace orvalis::testing {

namespace fs = std::filesystem;

WorkingFolder& WorkingFolder::backdrop() {
  writeFile(root_ / kBackdropPath, encodeJpeg(solidPicture(8, 8, 60, 60, 60)));
  return *this;
}

WorkingFolder& WorkingFolder::backdrop(const fs::path& copyOf) {
  fs::create_directories(root_ / "res");
  fs::copy_file(copyOf, root_ / kBackdropPath, fs::copy_options::overwrite_existing);
  return *this;
}

WorkingFolder& WorkingFolder::parameters(const SearchParameters& parameters) {
  fs::create_directories(root_ / "res");
  if (writeParametersFile(parameters, (root_ / kParametersPath).c_str()) != 1)
    throw std::runtime_error("cannot write the parameters in " + root_.string());
  return *this;
}

WorkingFolder& WorkingFolder::still(const BgrPicture& query, int quality) {
  writeFile(root_ / kArchiveFolder / "Current_Image.jpg", encodeJpeg(query, quality));
  return *this;
}

WorkingFolder& WorkingFolder::archive(const std::vector<BgrPicture>& pictures, int quality,
                                      std::uint32_t first) {
  fs::create_directories(root_ / kArchiveFolder);
  for (std::uint32_t i = 0; i < pictures.size(); ++i)
    writeFile(root_ / archivePicturePath(kArchiveFolder, first + i), encodeJpeg(pictures[i], quality));
  return *this;
}

WorkingFolder& WorkingFolder::markerScripts() {
  for (const char* name : {"Missing_Resources", "Current_Database_Mismatch", "Scanner_Mode",
                           "Scanner_Database_Mismatch", "Device_Lost"}) {
    writeTextFile(root_ / "res" / (std::string(name) + ".sh"),
                  std::string("echo ") + name + " >> res/markers.txt\n: > res/" + name + ".ran\n", true);
  }
  return *this;
}

WorkingFolder& WorkingFolder::centredQuery(std::uint32_t width, std::uint32_t height) {
  query_ = texturedPicture(width, height, 31);
  SearchParameters p = kDefaultParameters;
  p.colorTolerance = 8;
  p.viewfinderX = width / 2;
  p.viewfinderY = height / 2;
  p.viewfinderRadius = 40;
  return parameters(p).still(query_);
}

WorkingFolder& WorkingFolder::plantedArchive(std::uint32_t count, const std::set<std::uint32_t>& planted) {
  const std::uint32_t w = query_.width, h = query_.height;
  for (std::uint32_t i = 0; i < count; ++i) {
    const BgrPicture texture = texturedPicture(w, h, 40 + i);
    archive({planted.count(i) ? pasteQuarterTurn(query_, h / 2, w / 2, texture, h / 2 - 5, w / 2 + 20, 52)
                              : texture},
            100, i);
  }
  return *this;
}

WorkingFolder& WorkingFolder::flat() {
  SearchParameters p = kDefaultParameters;
  p.colorTolerance = 255;
  p.viewfinderX = 960;
  p.viewfinderY = 540;
  p.viewfinderRadius = 180;
  parameters(p);
  const auto picture = [](std::uint32_t seed) {
    return lowTexturePicture(LowTexture::BlurredNoise, 1920, 1080, seed);
  };
  return still(picture(1), 95).archive({picture(2), picture(3)}, 95);
}

}  // namespace orvalis::testing
