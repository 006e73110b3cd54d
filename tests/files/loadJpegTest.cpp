// The JPEG loader: the pixels turbojpeg itself decodes, and its verdict on
// every kind of file it may be handed, the committed corpus of damaged inputs
// included.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "files/loadJpeg.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;
using testing::encodeJpeg;
using testing::JpegKind;
using testing::writeFile;

TEST(LoadJpeg, DecodesTheSamePixelsAsTurboJpegItself) {
  // The library's accurate default decode, rows packed, BGR order.
  struct Case {
    const char* what;
    std::uint32_t width, height;
    JpegKind kind;
    bool progressive;
  };
  const Case cases[] = {
      {"odd-sized 4:2:0", 97, 61, JpegKind::Color420, false},
      {"gray", 33, 21, JpegKind::Gray, false},
      {"progressive", 64, 47, JpegKind::Color444, true},
  };
  auto image = std::make_unique<BgrImage>();
  tjhandle turbo = tjInitDecompress();
  for (const Case& c : cases) {
    const auto bytes = encodeJpeg(testing::texturedPicture(c.width, c.height, 5), 90, c.kind, c.progressive);
    std::vector<std::uint8_t> reference(std::size_t{3} * c.width * c.height);
    ASSERT_EQ(tjDecompress2(turbo, bytes.data(), bytes.size(), reference.data(), int(c.width), 0,
                            int(c.height), TJPF_BGR, 0),
              0);
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(decodeJpeg(bytes.data(), bytes.size(), *image, width, height)) << c.what;
    EXPECT_EQ(width, c.width) << c.what;
    EXPECT_EQ(height, c.height) << c.what;
    const auto differ = std::mismatch(reference.begin(), reference.end(), image->data()).first;
    EXPECT_EQ(differ, reference.end()) << c.what << ": byte " << differ - reference.begin() << " differs";
  }
  tjDestroy(turbo);
}

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

  // In a child with a deadline: a FIFO opened the plain way waits for a
  // writer forever. Each wrong verdict is a line of the report.
  const auto child = testing::runInChild(dir.path(), [&] {
    auto image = std::make_unique<BgrImage>();
    std::string report;
    for (const auto& [file, wanted] : cases) {
      std::fill(image->data(), image->data() + BgrImage::capacity(), 0xA5);
      JpegLoadFailure failure;
      std::uint32_t width = 7, height = 7;
      const bool loaded = loadJpeg(file.c_str(), *image, width, height, &failure);
      std::string got = describeJpegFailure(failure);
      if (width + height != 0)
        got.append(" ").append(std::to_string(width)).append("x").append(std::to_string(height));
      // A refusal before decoding leaves the destination as it was, and no
      // refusal spoils the next picture.
      if (!loaded && failure.refusal != JpegRefusal::Damaged &&
          std::any_of(image->data(), image->data() + BgrImage::capacity(),
                      [](auto b) { return b != 0xA5; })) {
        got += " [destination written]";
      }
      const bool sized = width + height != 0;
      if (!loaded && !loadJpeg("good.jpg", *image, width, height)) got += " [spoils the next load]";
      const bool right = got.find('[') == std::string::npos &&
                         (wanted == "refused" ? !loaded && !sized : got.rfind(wanted, 0) == 0);
      if (!right || loaded != (got.rfind("decoded", 0) == 0)) report += file + ": " + got + "\n";
    }
    testing::writeTextFile("report.txt", report);
  });
  ASSERT_FALSE(child.timedOut) << "a load blocked";
  ASSERT_EQ(child.exitCode, 0);
  const auto report = testing::readFile(dir / "report.txt");
  EXPECT_EQ(std::string(report.begin(), report.end()), "");
}

}  // namespace
}  // namespace orvalis
