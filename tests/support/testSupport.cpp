#include "tests/support/testSupport.h"

#include <turbojpeg.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace orvalis::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "orvalis-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const fs::path& folder) : previous_(fs::current_path()) {
  fs::current_path(folder);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
  std::error_code error;
  fs::current_path(previous_, error);
}

void writeFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  if (file.has_parent_path()) fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

void writeTextFile(const fs::path& file, const std::string& text, bool executable) {
  writeFile(file, std::vector<std::uint8_t>(text.begin(), text.end()));
  if (executable) fs::permissions(file, fs::perms::owner_exec, fs::perm_options::add);
}

std::vector<std::uint8_t> readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string readTextFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

BgrPicture solidPicture(std::uint32_t width, std::uint32_t height, std::uint8_t blue, std::uint8_t green,
                        std::uint8_t red) {
  BgrPicture picture{width, height, {}};
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i)
    picture.pixels.insert(picture.pixels.end(), {blue, green, red});
  return picture;
}

BgrPicture texturedPicture(std::uint32_t width, std::uint32_t height, std::uint32_t seed, double detail) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> phase(0.0, 6.283185307);
  std::uniform_real_distribution<double> frequency(0.01 * detail, 0.08 * detail);
  std::array<double, 4> waves[3][4];  // frequency across, down, phase, amplitude
  for (auto& channel : waves) {
    double amplitude = 60;
    for (auto& wave : channel) {
      wave = {frequency(rng), frequency(rng), phase(rng), amplitude};
      amplitude *= 0.6;
    }
  }
  BgrPicture picture{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double value = 128;
        for (const auto& wave : waves[c]) value += wave[3] * std::sin(wave[0] * x + wave[1] * y + wave[2]);
        picture.at(y, x)[c] = static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
      }
    }
  }
  return picture;
}

namespace {

// A Gaussian blur of a plane, across then down, the kernel cut at 3 sigma
// and the picture's edge mirrored.
std::vector<double> gaussianBlur(std::vector<double> plane, std::int64_t width, std::int64_t height,
                                 double sigma) {
  const int reach = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> kernel(2 * reach + 1);
  double total = 0;
  for (int k = -reach; k <= reach; ++k) total += kernel[k + reach] = std::exp(-k * k / (2 * sigma * sigma));
  for (double& weight : kernel) weight /= total;
  for (const bool across : {true, false}) {
    const std::vector<double> in = plane;
    for (std::int64_t y = 0; y < height; ++y) {
      for (std::int64_t x = 0; x < width; ++x) {
        double sum = 0;
        for (int k = -reach; k <= reach; ++k) {
          std::int64_t i = (across ? x : y) + k, n = across ? width : height;
          while (i < 0 || i >= n) i = i < 0 ? -i - 1 : 2 * n - i - 1;
          sum += kernel[k + reach] * in[across ? y * width + i : i * width + x];
        }
        plane[y * width + x] = sum;
      }
    }
  }
  return plane;
}

}  // namespace

BgrPicture lowTexturePicture(LowTexture kind, std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<double> plane(static_cast<std::size_t>(width) * height);
  if (kind == LowTexture::DarkNoise) {
    std::normal_distribution<double> noise(10.0, 8.0);
    for (double& value : plane) value = noise(rng);
    plane = gaussianBlur(plane, width, height, 2.0);
  } else {
    std::uniform_int_distribution<int> noise(0, 255);
    for (double& value : plane) value = noise(rng);
    if (kind == LowTexture::BlurredNoise) plane = gaussianBlur(plane, width, height, 6.0);
  }
  BgrPicture picture{width, height, std::vector<std::uint8_t>(plane.size() * 3)};
  for (std::size_t i = 0; i < plane.size(); ++i) {
    const auto gray = static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, plane[i]))));
    picture.pixels[3 * i] = picture.pixels[3 * i + 1] = picture.pixels[3 * i + 2] = gray;
  }
  return picture;
}

std::vector<std::uint8_t> encodeJpeg(const BgrPicture& picture, int quality, JpegKind kind) {
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) throw std::runtime_error("tjInitCompress failed");
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int subsampling = kind == JpegKind::Gray       ? TJSAMP_GRAY
                          : kind == JpegKind::Color420 ? TJSAMP_420
                                                       : TJSAMP_444;
  const int result = tjCompress2(handle, picture.pixels.data(), static_cast<int>(picture.width),
                                 static_cast<int>(picture.width * 3), static_cast<int>(picture.height),
                                 TJPF_BGR, &out, &size, subsampling, quality, 0);
  std::vector<std::uint8_t> bytes;
  if (result == 0) bytes.assign(out, out + size);
  tjFree(out);
  tjDestroy(handle);
  if (result != 0) throw std::runtime_error("tjCompress2 failed");
  return bytes;
}

}  // namespace orvalis::testing
