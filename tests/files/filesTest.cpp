// The files a search reads and writes: the JPEG loader's verdicts and pixels
// (the committed corpus of damaged inputs included), the parameters record,
// the archive's names and the PNG views.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <numeric>
#include <random>
#include <tuple>

#include "files/archiveNaming.h"
#include "files/loadJpeg.h"
#include "files/matchViewFiles.h"
#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/pngReading.h"
#include "tests/support/testSupport.h"

// This program's fsync fails with EIO while failingFsync is set, as on a disk
// that loses the data.
static bool failingFsync = false;

extern "C" int fsync(int fd) {
  if (!failingFsync) return static_cast<int>(::syscall(SYS_fsync, fd));
  errno = EIO;
  return -1;
}

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using Bytes = std::vector<std::uint8_t>;

// Position of the first marker 0xFF code after the SOI.
std::size_t markerAt(const std::vector<std::uint8_t>& bytes, std::uint8_t code) {
  std::size_t i = 2;
  while (i + 1 < bytes.size() && !(bytes[i] == 0xFF && bytes[i + 1] == code)) ++i;
  return i;
}

TEST(LoadJpeg, JudgesEveryKindOfFileWithItsReason) {
  testing::TempDir dir;
  const auto good = encodeJpeg(testing::texturedPicture(200, 150, 4), 90, JpegKind::Color420);
  writeFile(dir / "good.jpg", good);
  // What may lie at the path is safeFile's to judge: one refusal of it here.
  ASSERT_EQ(::mkfifo((dir / "fifo.jpg").c_str(), 0644), 0);
  writeFile(dir / "portrait.jpg",
            encodeJpeg(testing::solidPicture(1200, 1920, 9, 9, 9), 50, JpegKind::Color420));
  // Decoder warnings judged by kind: those that leave every pixel decoded
  // from the file are harmless; the others would leave made-up pixels.
  const std::size_t eoi = markerAt(good, 0xD9);
  auto stray = good;  // two stray bytes before the frame header
  stray.insert(stray.begin() + std::ptrdiff_t(markerAt(good, 0xC0)), {0x12, 0x34});
  writeFile(dir / "stray.jpg", stray);
  auto jfif = good;  // JFIF major revision 2
  jfif[markerAt(good, 0xE0) + 9] = 2;
  writeFile(dir / "jfif.jpg", jfif);
  std::vector<std::uint8_t> shortSegment(good.begin(), good.begin() + std::ptrdiff_t(eoi / 2));
  shortSegment.insert(shortSegment.end(), {0xFF, 0xD9});  // the data cut short, then a proper end
  writeFile(dir / "short-segment.jpg", shortSegment);
  auto scrambled = good;
  for (std::size_t i = markerAt(good, 0xDA) + 20; i + 2 < eoi; i += 7) scrambled[i] = 0xFF;
  writeFile(dir / "scrambled.jpg", scrambled);

  const std::string corpus = ORVALIS_SOURCE_DIR "/tests/data/corpus/jpeg/";
  std::vector<std::pair<std::string, std::string>> cases = {
      {"missing.jpg", "not found"},
      {"fifo.jpg", "not a regular file"},
      {"portrait.jpg", "decoded 1200x1920"},
      {"stray.jpg", "decoded 200x150"},
      {"jfif.jpg", "decoded 200x150"},
      {"short-segment.jpg", "damaged (Corrupt JPEG data: premature end of data segment)"},
      {"scrambled.jpg", "damaged (Corrupt JPEG data"},
      {corpus + "bad-empty.jpg", "empty file"},
      {corpus + "bad-cmyk.jpg", "CMYK or YCCK colour, not supported"},
      {corpus + "bad-over-capacity.jpg", "larger than 1920x1200 pixels (1921x1201)"},
      {corpus + "bad-png-renamed.jpg",
       "not a JPEG the decoder can read (Not a JPEG file: starts with 0x89 0x50)"},
  };
  // The rest of the corpus: intact pictures load, damaged ones are refused,
  // and the bit flips anyhow, but cleanly.
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const std::string name = entry.path().filename().string();
    cases.emplace_back(entry.path().string(), name.rfind("ok-", 0) == 0             ? "decoded 48x32"
                                              : name.rfind("bad-truncated", 0) == 0 ? "damaged (Premature end"
                                              : name.rfind("bad-", 0) == 0          ? "refused"
                                                                                    : "");
  }

  // In a child: a FIFO opened the plain way waits for a writer forever.
  const int code = testing::runInChild(dir.path(), [&] {
    auto image = std::make_unique<BgrImage>();
    tjhandle turbo = tjInitDecompress();
    std::string report;
    for (const auto& [file, wanted] : cases) {
      std::fill(image->data(), image->data() + BgrImage::capacity(), 0xA5);
      JpegLoadFailure failure;
      std::uint32_t width = 7, height = 7;
      const bool loaded = loadJpeg(file.c_str(), *image, width, height, &failure);
      const bool sized = width + height != 0;
      std::string got = describeJpegFailure(failure);
      if (sized) got.append(" ").append(std::to_string(width)).append("x").append(std::to_string(height));
      // What loads holds the pixels of libjpeg-turbo's accurate default decode.
      const Bytes bytes = loaded ? testing::readFile(file) : Bytes{};
      Bytes reference(loaded ? std::size_t{3} * width * height : 0);
      if (loaded)
        tjDecompress2(turbo, bytes.data(), bytes.size(), reference.data(), int(width), 0, int(height),
                      TJPF_BGR, 0);
      if (!std::equal(reference.begin(), reference.end(), image->data())) got += " [pixels differ]";
      // A refusal before decoding leaves the destination as it was, and no
      // refusal spoils the next picture.
      const auto untouched = [](std::uint8_t b) { return b == 0xA5; };
      if (!loaded && failure.refusal != JpegRefusal::Damaged &&
          !std::all_of(image->data(), image->data() + BgrImage::capacity(), untouched))
        got += " [destination written]";
      if (!loaded && !loadJpeg("good.jpg", *image, width, height)) got += " [spoils the next load]";
      if (got.find('[') != std::string::npos || loaded != (got.rfind("decoded", 0) == 0) ||
          (wanted == "refused" ? loaded || sized : got.rfind(wanted, 0) != 0))
        report += file + ": " + got + "\n";
    }
    tjDestroy(turbo);
    testing::writeTextFile("report.txt", report);
  });
  ASSERT_EQ(code, 0) << "-1: a load blocked";
  EXPECT_EQ(testing::readFile(dir / "report.txt"), Bytes{});
}

TEST(ParametersFile, StoresEachFieldLittleEndianAndLoadsBackAllButUnusableValues) {
  // Each field's bytes spell their place in the file: 1, 2, ..., 25.
  TempDir dir;
  const SearchParameters spelt{0x04030201, 0x08070605, 0x09, 0x0D0C0B0A, 0x11100F0E, 0x15141312, 0x19181716};
  ASSERT_EQ(writeParametersFile(spelt, (dir / "p.bin").c_str()), 1);
  Bytes bytes(25);
  std::iota(bytes.begin(), bytes.end(), 1);
  EXPECT_EQ(testing::readFile(dir / "p.bin"), bytes);
  SearchParameters decoded;
  decodeParameters(bytes.data(), bytes.size(), decoded);
  EXPECT_EQ(decoded, spelt);
  EXPECT_EQ(writeParametersFile(spelt, (dir / "no/p.bin").c_str()), 0);  // a folder that is not there
  // Only values the arithmetic can't use are replaced.
  const std::pair<SearchParameters, SearchParameters> cases[] = {
      {{0, 21, 3, 7, 500, 600, 251}, {1, 8, 3, 7, 500, 600, 0}},
      {{3, 20, 255, 7, 500, 600, 250}, {3, 20, 255, 7, 500, 600, 250}},
  };
  for (const auto& [stored, loaded] : cases) {
    ASSERT_EQ(writeParametersFile(stored, (dir / "p.bin").c_str()), 1);
    SearchParameters p;
    EXPECT_EQ(loadParameters(p, (dir / "p.bin").c_str()), FileStatus::Ok);
    EXPECT_EQ(p, loaded);
  }
}

// A save that fails after every check passed: the disk loses the data, or
// the folder refuses the rename (another user's file, writable by all, in a
// sticky folder; making it needs root).
TEST(ParametersFile, ASaveThatFailsLateLeavesTheFileAndReportsTheFailure) {
  for (const bool renameRefused : {false, ::geteuid() == 0}) {
    SCOPED_TRACE(renameRefused ? "rename refused" : "fsync failed");
    TempDir dir;
    const Bytes old(25, 1);
    writeFile(dir / "p.bin", old);
    if (renameRefused) {
      fs::permissions(dir.path(), fs::perms::all | fs::perms::sticky_bit);
      fs::permissions(dir / "p.bin", fs::perms(0666));
    }
    failingFsync = !renameRefused;
    const int code = testing::runInChild(dir.path(), [renameRefused] {
      std::_Exit(renameRefused && !testing::dropRootPrivileges()
                     ? 3
                     : writeParametersFile(kDefaultParameters, "p.bin"));
    });
    failingFsync = false;
    EXPECT_EQ(code, 0) << "1: the save was reported done";
    EXPECT_EQ(testing::readFile(dir / "p.bin"), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "a temporary file left";
  }
}

TEST(ParametersFile, ARecordOfAnyLengthGivesOnlyTheFieldsItHoldsWhole) {
  // The record {4, 8, 16, 25, 240, 320, 80} cut or padded to 0 to 30 bytes.
  const SearchParameters before{2, 3, 4, 10, 11, 12, 13};
  for (const auto& entry : fs::directory_iterator(ORVALIS_SOURCE_DIR "/tests/data/corpus/parameters")) {
    if (entry.path().filename().string().rfind("length-", 0) != 0) continue;
    const std::size_t size = fs::file_size(entry.path());
    SearchParameters p = before;
    EXPECT_EQ(loadParameters(p, entry.path().c_str()), FileStatus::Ok);
    const SearchParameters expected{size >= 4 ? 4 : before.framesPerSecond,
                                    size >= 8 ? 8 : before.filterRadius,
                                    std::uint8_t(size >= 9 ? 16 : before.colorTolerance),
                                    size >= 13 ? 25 : before.viewfinderStep,
                                    size >= 17 ? 240 : before.viewfinderY,
                                    size >= 21 ? 320 : before.viewfinderX,
                                    size >= 25 ? 80 : before.viewfinderRadius};
    EXPECT_EQ(p, expected) << size << " bytes";
  }
  SearchParameters p = before;  // no file at all: the defaults
  EXPECT_EQ(loadParameters(p, "/nonexistent/p.bin"), FileStatus::Missing);
  EXPECT_EQ(p, kDefaultParameters);
}

TEST(ArchiveFileName, TenDigitsOfTheIndexReadUnsigned) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "Image_Archive/Image_0000000000.jpg"},
      {123, "Image_Archive/Image_0000000123.jpg"},
      {2147483647, "Image_Archive/Image_2147483647.jpg"},
      {-1, "Image_Archive/Image_4294967295.jpg"},
      {-2147483647 - 1, "Image_Archive/Image_2147483648.jpg"},
  };
  for (const auto& [index, name] : cases) EXPECT_STREQ(archiveFileName(index).c_str(), name);
}

TEST(MatchViewFiles, WritesEachViewUnderItsNameOrNamesTheFileThatFailed) {
  testing::TempDir dir;
  const auto ws = std::make_unique<Workspace>();
  SearchState& s = ws->state;
  s.queryWidth = s.archiveWidth = 7;
  s.queryHeight = s.archiveHeight = 5;
  s.previewWidth = s.previewHeight = 4;
  ImageStore& im = ws->images;
  const std::tuple<const char*, BgrImage&, std::uint32_t, std::uint32_t> views[] = {
      {"query.png", im.queryImage, 7, 5},
      {"archive.png", im.archiveImage, 7, 5},
      {"template-preview.png", im.templatePreview, 4, 4},
      {"match-preview.png", im.matchPreview, 4, 4},
      {"difference-preview.png", im.differencePreview, 4, 4},
  };
  std::mt19937 rng(1);  // no two pictures, and no two channels, alike
  for (const auto& [name, picture, width, height] : views)
    std::generate_n(picture.data(), 3 * width * height, [&rng] { return static_cast<std::uint8_t>(rng()); });
  ASSERT_TRUE(writeMatchViews(*ws, (dir / "views/run1").string()));
  for (const auto& [name, picture, width, height] : views) {
    const testing::PngFile png = testing::readPng(dir / "views/run1" / name);
    EXPECT_TRUE(png.ok && png.width == width && png.height == height &&
                std::equal(png.bgr.begin(), png.bgr.end(), picture.data()))
        << name;
  }
  // A folder that is a plain file can't hold the views; previews of side 0
  // (a viewfinder radius below 2) are no picture.
  std::string failed;
  testing::writeFile(dir / "taken", {1});
  EXPECT_FALSE(writeMatchViews(*ws, (dir / "taken").string(), &failed));
  EXPECT_EQ(failed, (dir / "taken/query.png").string());
  s.previewWidth = s.previewHeight = 0;
  EXPECT_FALSE(writeMatchViews(*ws, (dir / "small").string(), &failed));
  EXPECT_EQ(failed, (dir / "small/template-preview.png").string());
}

}  // namespace
}  // namespace orvalis
