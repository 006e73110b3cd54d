#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "files/loadJpeg.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using testing::BgrPicture;
using testing::encodeJpeg;
using testing::JpegKind;
using testing::TempDir;
using testing::writeFile;

struct LoadResult {
  int ok;
  std::uint32_t height, width;
};

class LoadJpeg : public ::testing::Test {
 protected:
  LoadResult load(const std::filesystem::path& file) {
    LoadResult r{-1, 111, 222};
    r.ok = loadJpeg(file.c_str(), *image, r.width, r.height);
    return r;
  }
  // Fills the destination with a pattern that a refusal must leave alone.
  void poison() { std::fill(image->data(), image->data() + BgrImage::capacity(), 0xA5); }
  bool untouched() const {
    const std::uint8_t* p = image->data();
    for (std::size_t i = 0; i < BgrImage::capacity(); ++i) {
      if (p[i] != 0xA5) return false;
    }
    return true;
  }
  void expectRefusedUntouched(const std::filesystem::path& file) {
    poison();
    const LoadResult r = load(file);
    EXPECT_EQ(r.ok, 0) << file;
    EXPECT_EQ(r.height, 0u);
    EXPECT_EQ(r.width, 0u);
    EXPECT_TRUE(untouched()) << file;
  }

  TempDir dir;
  std::unique_ptr<BgrImage> image = std::make_unique<BgrImage>();
};

TEST_F(LoadJpeg, LoadsSizeAndTopLeftPixelInBgrOrder) {
  writeFile(dir / "a.jpg", encodeJpeg(testing::solidPicture(640, 480, 10, 120, 230), 100));
  const LoadResult r = load(dir / "a.jpg");
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.height, 480u);
  EXPECT_EQ(r.width, 640u);
  EXPECT_NEAR((*image)[0], 10, 2);
  EXPECT_NEAR((*image)[1], 120, 2);
  EXPECT_NEAR((*image)[2], 230, 2);
}

TEST_F(LoadJpeg, DecodesTheSamePixelsAsTurboJpegItself) {
  // The loader must be the library's accurate default decode, packed.
  const BgrPicture source = testing::texturedPicture(97, 61, 5);
  const auto bytes = encodeJpeg(source, 90, JpegKind::Color420);
  writeFile(dir / "t.jpg", bytes);
  ASSERT_EQ(load(dir / "t.jpg").ok, 1);
  std::vector<std::uint8_t> reference(97 * 61 * 3);
  tjhandle h = tjInitDecompress();
  ASSERT_EQ(tjDecompress2(h, bytes.data(), bytes.size(), reference.data(), 97, 0, 61, TJPF_BGR, 0), 0);
  tjDestroy(h);
  for (std::size_t i = 0; i < reference.size(); ++i) ASSERT_EQ((*image)[i], reference[i]) << "byte " << i;
}

TEST_F(LoadJpeg, OddWidthRowsArePackedWithoutShear) {
  // A vertical stripe at column 320 must stay at column 320 on every row.
  BgrPicture picture = testing::solidPicture(641, 48, 0, 0, 0);
  for (std::uint32_t y = 0; y < 48; ++y) {
    for (std::uint32_t x = 312; x < 328; ++x) {
      std::uint8_t* p = picture.at(y, x);
      p[0] = p[1] = p[2] = 255;
    }
  }
  writeFile(dir / "odd.jpg", encodeJpeg(picture, 100));
  const LoadResult r = load(dir / "odd.jpg");
  ASSERT_EQ(r.ok, 1);
  for (std::uint32_t y = 0; y < 48; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * 1923;  // 641 x 3 bytes a row
    EXPECT_GT((*image)[row + 320 * 3], 200) << "row " << y;
    EXPECT_LT((*image)[row + 300 * 3], 40) << "row " << y;
    EXPECT_LT((*image)[row + 340 * 3], 40) << "row " << y;
  }
}

TEST_F(LoadJpeg, GrayJpegGivesThreeEqualBytes) {
  writeFile(dir / "g.jpg", encodeJpeg(testing::texturedPicture(33, 21, 2), 90, JpegKind::Gray));
  ASSERT_EQ(load(dir / "g.jpg").ok, 1);
  for (std::size_t i = 0; i < 33 * 21; ++i) {
    ASSERT_EQ((*image)[3 * i], (*image)[3 * i + 1]);
    ASSERT_EQ((*image)[3 * i], (*image)[3 * i + 2]);
  }
}

TEST_F(LoadJpeg, ProgressiveJpegLoads) {
  writeFile(dir / "p.jpg", encodeJpeg(testing::texturedPicture(64, 48, 3), 90, JpegKind::Color420, true));
  EXPECT_EQ(load(dir / "p.jpg").ok, 1);
}

TEST_F(LoadJpeg, RefusesWhatIsNoJpegFileAtOnceWithItsReasonAndLeavesTheDestination) {
  // Run in a child with a deadline: a FIFO opened for reading the plain way
  // waits for a writer forever. As root the child becomes nobody, so that a
  // file without read permission is really unreadable.
  const auto good = encodeJpeg(testing::solidPicture(16, 8, 5, 6, 7), 90);
  writeFile(dir / "good.jpg", good);
  writeFile(dir / "empty.jpg", {});
  std::filesystem::create_directories(dir / "folder.jpg");
  ASSERT_EQ(::mkfifo((dir / "fifo.jpg").c_str(), 0644), 0);
  std::filesystem::create_symlink(dir / "good.jpg", dir / "link.jpg");
  std::filesystem::create_symlink(dir / "gone.jpg", dir / "dangling.jpg");
  writeFile(dir / "locked.jpg", good);
  std::filesystem::permissions(dir / "locked.jpg", std::filesystem::perms::none);
  writeFile(dir / "few.jpg", {0xFF, 0xD8, 0xFF});
  // A PNG signature and header renamed .jpg.
  writeFile(dir / "png.jpg", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0,  0, 0, 13, 'I', 'H', 'D',
                              'R',  0,   0,   0,   16,   0,    0,    0,    16, 8, 2, 0,  0,   0});
  writeFile(dir / "cmyk.jpg", testing::encodeCmykJpeg(16, 16));
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  const std::pair<const char*, const char*> cases[] = {
      {"missing.jpg", "not found"},
      {"dangling.jpg", "not found"},
      {"locked.jpg", "permission denied"},
      {"empty.jpg", "empty file"},
      {"folder.jpg", "not a regular file"},
      {"fifo.jpg", "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {"few.jpg", "damaged (Premature end of JPEG file)"},
      {"png.jpg", "not a JPEG the decoder can read (Not a JPEG file: starts with 0x89 0x50)"},
      {"cmyk.jpg", "CMYK or YCCK colour, not supported"},
  };
  const auto report = dir / "report.txt";
  const auto child = testing::runInChild(dir.path(), [&] {
    if (!testing::dropRootPrivileges()) std::_Exit(3);
    std::string lines;
    for (const auto& [name, reason] : cases) {
      poison();
      JpegLoadFailure failure;
      const LoadResult r = [&] {
        LoadResult result{-1, 1, 1};
        result.ok = loadJpeg(name, *image, result.width, result.height, &failure);
        return result;
      }();
      lines += std::string(name) + ": " + describeJpegFailure(failure);
      if (r.ok != 0 || r.height + r.width != 0 || !untouched()) lines += " (not refused cleanly)";
      lines += "\n";
    }
    JpegLoadFailure failure;
    std::uint32_t h = 0, w = 0;
    const int linked = loadJpeg("link.jpg", *image, w, h, &failure);
    lines += "link.jpg: " + std::to_string(linked) + " " + std::to_string(w) + "x" + std::to_string(h) + "\n";
    testing::writeTextFile("report.txt", lines);
  });
  ASSERT_FALSE(child.timedOut) << "a load blocked";
  ASSERT_EQ(child.exitCode, 0);
  std::string expected;
  for (const auto& [name, reason] : cases) expected += std::string(name) + ": " + reason + "\n";
  expected += "link.jpg: 1 16x8\n";
  const auto bytes = testing::readFile(report);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

TEST_F(LoadJpeg, RefusesPicturesAboveTheCapacityBeforeWritingAnyPixel) {
  writeFile(dir / "wide.jpg", encodeJpeg(testing::solidPicture(1921, 1200, 1, 2, 3), 50, JpegKind::Color420));
  expectRefusedUntouched(dir / "wide.jpg");
  writeFile(dir / "tall.jpg", encodeJpeg(testing::solidPicture(1920, 1201, 1, 2, 3), 50, JpegKind::Color420));
  expectRefusedUntouched(dir / "tall.jpg");

  // A small valid file whose header claims 60000 x 60000.
  auto bytes = encodeJpeg(testing::solidPicture(16, 16, 1, 2, 3), 50);
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {  // SOF0: length(2) precision(1) height(2) width(2)
      bytes[i + 5] = 0xEA;
      bytes[i + 6] = 0x60;
      bytes[i + 7] = 0xEA;
      bytes[i + 8] = 0x60;
      break;
    }
  }
  writeFile(dir / "huge.jpg", bytes);
  expectRefusedUntouched(dir / "huge.jpg");
}

TEST_F(LoadJpeg, AcceptsFullCapacityInEitherOrientation) {
  writeFile(dir / "land.jpg", encodeJpeg(testing::solidPicture(1920, 1200, 9, 9, 9), 50, JpegKind::Color420));
  EXPECT_EQ(load(dir / "land.jpg").ok, 1);
  writeFile(dir / "port.jpg", encodeJpeg(testing::solidPicture(1200, 1920, 9, 9, 9), 50, JpegKind::Color420));
  const LoadResult r = load(dir / "port.jpg");
  EXPECT_EQ(r.ok, 1);
  EXPECT_EQ(r.width, 1200u);
  EXPECT_EQ(r.height, 1920u);
}

// Position of the first marker 0xFF code after the SOI.
std::size_t markerAt(const std::vector<std::uint8_t>& bytes, std::uint8_t code) {
  for (std::size_t i = 2; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == code) return i;
  }
  return bytes.size();
}

TEST_F(LoadJpeg, DecoderWarningsAreJudgedByKind) {
  // Harmless warnings leave every pixel decoded: the picture loads with the
  // clean file's pixels. The others would leave made-up pixels: refused.
  const auto clean = encodeJpeg(testing::texturedPicture(200, 150, 4), 90, JpegKind::Color420);
  writeFile(dir / "clean.jpg", clean);
  ASSERT_EQ(load(dir / "clean.jpg").ok, 1);
  const std::vector<std::uint8_t> cleanPixels(image->data(), image->data() + 200 * 150 * 3);
  const std::size_t eoi = markerAt(clean, 0xD9);
  const std::size_t sos = markerAt(clean, 0xDA);
  ASSERT_LT(eoi, clean.size());

  auto stray = clean;  // two stray bytes before the frame header
  const std::size_t sof = markerAt(stray, 0xC0);
  stray.insert(stray.begin() + static_cast<std::ptrdiff_t>(sof), {0x12, 0x34});
  auto jfif = clean;  // JFIF major revision 2
  jfif[markerAt(jfif, 0xE0) + 9] = 2;
  const std::vector<std::uint8_t> truncated(clean.begin(),
                                            clean.begin() + static_cast<std::ptrdiff_t>(eoi / 2));
  auto shortSegment = truncated;  // the data cut short, then a proper end
  shortSegment.insert(shortSegment.end(), {0xFF, 0xD9});
  auto scrambled = clean;
  for (std::size_t i = sos + 20; i + 2 < eoi; i += 7) scrambled[i] = 0xFF;

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool accepted;
    const char* reason;  // part of the refusal's description
  };
  const Case cases[] = {
      {"extraneous bytes before a marker", stray, true, ""},
      {"unknown JFIF revision", jfif, true, ""},
      {"premature end of the file", truncated, false, "damaged (Premature end of JPEG file)"},
      {"premature end of a data segment", shortSegment, false, "premature end of data segment"},
      {"corrupt entropy-coded data", scrambled, false, "damaged (Corrupt JPEG data"},
  };
  for (const Case& c : cases) {
    writeFile(dir / "case.jpg", c.bytes);
    poison();
    JpegLoadFailure failure;
    std::uint32_t h = 1, w = 1;
    const int ok = loadJpeg((dir / "case.jpg").c_str(), *image, w, h, &failure);
    EXPECT_EQ(ok, c.accepted ? 1 : 0) << c.what << ": " << describeJpegFailure(failure);
    if (c.accepted) {
      EXPECT_TRUE(std::equal(cleanPixels.begin(), cleanPixels.end(), image->data())) << c.what;
    } else {
      EXPECT_EQ(h + w, 0u) << c.what;
      EXPECT_NE(describeJpegFailure(failure).find(c.reason), std::string::npos)
          << c.what << ": " << describeJpegFailure(failure);
    }
  }
}

TEST_F(LoadJpeg, MemoryEntryPointSharesTheChecks) {
  const auto bytes = encodeJpeg(testing::solidPicture(8, 4, 1, 2, 3), 90);
  std::uint32_t h = 9, w = 9;
  EXPECT_EQ(decodeJpeg(bytes.data(), bytes.size(), *image, w, h), 1);
  EXPECT_EQ(w, 8u);
  EXPECT_EQ(h, 4u);
  EXPECT_EQ(decodeJpeg(bytes.data(), 0, *image, w, h), 0);
  EXPECT_EQ(h + w, 0u);
  EXPECT_EQ(decodeJpeg(nullptr, 10, *image, w, h), 0);
}

}  // namespace
}  // namespace orvalis

namespace orvalis {
namespace {

TEST(LoadJpegSequence, ARefusedFileDoesNotSpoilTheNextLoad) {
  // A header the decoder gives up on half-way (12-bit samples) once left the
  // decompressor refusing every later picture.
  TempDir dir;
  auto good = encodeJpeg(testing::solidPicture(16, 8, 5, 6, 7), 90);
  auto twelveBit = good;
  for (std::size_t i = 0; i + 4 < twelveBit.size(); ++i) {
    if (twelveBit[i] == 0xFF && twelveBit[i + 1] == 0xC0) {
      twelveBit[i + 4] = 12;
      break;
    }
  }
  writeFile(dir / "good.jpg", good);
  writeFile(dir / "twelve.jpg", twelveBit);
  writeFile(dir / "cut.jpg", std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2));
  auto image = std::make_unique<BgrImage>();
  std::uint32_t h = 0, w = 0;
  for (const char* bad : {"twelve.jpg", "cut.jpg"}) {
    EXPECT_EQ(loadJpeg((dir / bad).c_str(), *image, w, h), 0) << bad;
    EXPECT_EQ(loadJpeg((dir / "good.jpg").c_str(), *image, w, h), 1) << "after " << bad;
  }
}

}  // namespace
}  // namespace orvalis
