#pragma once

// The real window over a small working folder laid out as the program
// expects, with a fake camera and an exit path that records scripts.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>
#include <filesystem>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "files/parametersFile.h"
#include "tests/support/fakes.h"
#include "tests/support/testSupport.h"
#include "ui/orvalisDlg.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace orvalis::testing {

// Records the scripts; a fatal exit fails the test instead of ending it.
class RecordingExitPath : public ExitPath {
 public:
  void runScript(ExitScript script) override { scripts.push_back(script); }
  [[noreturn]] void exitProcess(int code) override {
    throw std::runtime_error("the window ended the process with code " + std::to_string(code));
  }
  std::vector<ExitScript> scripts;
};

// 320 x 240 leaves room for every viewfinder command with step 10 around a
// radius-50 viewfinder at the centre; the matcher stays quick at this size.
inline constexpr std::uint32_t kWidth = 320;
inline constexpr std::uint32_t kHeight = 240;
inline BgrPicture queryPicture() {
  return texturedPicture(kWidth, kHeight, 1);
}

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : cwd_(dir.path()) {
    std::filesystem::create_directories(dir / "res");
    std::filesystem::create_directories(dir / "Image_Archive");
    writeFile(dir / "res/Dark_Gray_Square.jpg", encodeJpeg(solidPicture(8, 8, 60, 60, 60)));
  }

  // Still-image mode: the query, and an archive whose picture 1 holds it.
  void stillFolder() {
    writeFile(dir / "Image_Archive/Current_Image.jpg", encodeJpeg(queryPicture(), 100));
    cameraFolder();
  }
  // Camera mode: no still picture.
  void cameraFolder() {
    writeFile(dir / "Image_Archive/Image_0000000000.jpg",
              encodeJpeg(texturedPicture(kWidth, kHeight, 7), 100));
    writeFile(dir / "Image_Archive/Image_0000000001.jpg", encodeJpeg(queryPicture(), 100));
  }
  void writeParameters(const SearchParameters& p) {
    ASSERT_EQ(writeParametersFile(p, parametersFile().c_str()), 1);
  }
  std::filesystem::path parametersFile() const { return dir / "res/Combo_Box_Parameters.bin"; }
  SearchParameters savedParameters() {
    SearchParameters p{};
    EXPECT_EQ(std::filesystem::file_size(parametersFile()), kParametersFileSize);
    loadParameters(p, parametersFile().c_str());
    return p;
  }

  COrvalisDlg& window() {
    if (!window_) window_ = std::make_unique<COrvalisDlg>(*ws, camera, exitPath);
    return *window_;
  }
  // The window's initialisation, shown normally so that clicks reach it.
  COrvalisDlg& started() {
    window().initDialog(COrvalisDlg::StartShow::Normal);
    return *window_;
  }
  SearchState& state() { return ws->state; }

  QAbstractButton* button(int id) { return qobject_cast<QAbstractButton*>(window().control(id)); }
  QComboBox* list(int id) { return qobject_cast<QComboBox*>(window().control(id)); }
  void click(int id) {
    QAbstractButton* b = button(id);
    ASSERT_NE(b, nullptr) << id;
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
  }

  TempDir dir;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  FakeCamera camera{{queryPicture()}};
  RecordingExitPath exitPath;

 private:
  ScopedWorkingDirectory cwd_;

 protected:
  std::unique_ptr<COrvalisDlg> window_;  // last member: goes before what it refers to
};

}  // namespace orvalis::testing
