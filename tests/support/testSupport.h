#pragma once

// Temporary folders, generated pictures and JPEG files (no test framework
// here: the benchmarks use them too).

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace orvalis::testing {

// A fresh temporary folder, removed with its content (write bits restored first).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::filesystem::path& folder);
  ~ScopedWorkingDirectory();
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
void writeTextFile(const std::filesystem::path& file, const std::string& text, bool executable = false);
std::vector<std::uint8_t> readFile(const std::filesystem::path& file);
std::string readTextFile(const std::filesystem::path& file);

// Packed BGR pixels (3 bytes a pixel, rows top-down, stride 3 x width).
struct BgrPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;
  std::uint8_t* at(std::uint32_t row, std::uint32_t column) {
    return pixels.data() + 3 * (static_cast<std::size_t>(row) * width + column);
  }
};

BgrPicture solidPicture(std::uint32_t width, std::uint32_t height, std::uint8_t blue, std::uint8_t green,
                        std::uint8_t red);

// A smooth texture of a few seeded sinusoids a channel, every region unlike
// its neighbours; detail above 1 gives busier pictures whose small regions
// stay distinctive after the disc filter.
BgrPicture texturedPicture(std::uint32_t width, std::uint32_t height, std::uint32_t seed,
                           double detail = 1.0);

// Gray pictures with next to no texture, as a covered or defocused camera,
// fog or a blank wall give: uniform noise 0..255; that noise blurred by a
// Gaussian of sigma 6; 10 plus Gaussian noise of sigma 8, blurred by sigma 2.
enum class LowTexture { Noise, BlurredNoise, DarkNoise };
BgrPicture lowTexturePicture(LowTexture kind, std::uint32_t width, std::uint32_t height, std::uint32_t seed);

// quality 100 and 4:4:4 keep the decoded pixels close to the source.
enum class JpegKind { Color444, Color420, Gray };
std::vector<std::uint8_t> encodeJpeg(const BgrPicture& picture, int quality = 95,
                                     JpegKind kind = JpegKind::Color444);

}  // namespace orvalis::testing
