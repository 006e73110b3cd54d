#pragma once

// The real window over a small working folder, with a fake camera and an
// exit path that records scripts.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "files/parametersFile.h"
#include "tests/support/fakes.h"
#include "tests/support/workingFolder.h"
#include "ui/orvalisDlg.h"

inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace orvalis::testing {

// A fatal exit fails the test instead of ending it.
class RecordingExitPath : public ExitPath {
 public:
  void runScript(ExitScript script) override { scripts.push_back(script); }
  [[noreturn]] void exitProcess(int code) override {
    throw std::runtime_error("the window ended the process with code " + std::to_string(code));
  }
  std::vector<ExitScript> scripts;
};

// 320 x 240 leaves room for every viewfinder command with step 10 around a
// radius-50 viewfinder at the centre.
inline constexpr std::uint32_t kWidth = 320, kHeight = 240;

struct WindowHarness {
  WindowHarness() { folder.backdrop(); }
  // Camera mode: picture 1 of the archive holds the query; still-image mode
  // adds the query as the still picture.
  void cameraFolder() {
    folder.archive({texturedPicture(kWidth, kHeight, 7), texturedPicture(kWidth, kHeight, 1)});
  }
  void stillFolder() {
    folder.still(texturedPicture(kWidth, kHeight, 1));
    cameraFolder();
  }
  void writeParameters(const SearchParameters& p) {
    ASSERT_EQ(writeParametersFile(p, parametersFile().c_str()), 1);
  }
  std::filesystem::path parametersFile() const { return dir / "res/Combo_Box_Parameters.bin"; }
  SearchParameters savedParameters() {
    SearchParameters p{};
    EXPECT_EQ(loadParameters(p, parametersFile().c_str()), FileStatus::Ok);
    return p;
  }
  COrvalisDlg& window() {
    if (!window_) window_ = std::make_unique<COrvalisDlg>(*ws, camera, exitPath);
    return *window_;
  }
  // Shown normally, so that clicks reach it.
  COrvalisDlg& started() {
    window().initDialog(COrvalisDlg::StartShow::Normal);
    return *window_;
  }
  SearchState& state() { return ws->state; }
  QAbstractButton* button(int id) { return qobject_cast<QAbstractButton*>(window().control(id)); }
  QComboBox* list(int id) { return qobject_cast<QComboBox*>(window().control(id)); }
  void click(int id) { QTest::mouseClick(button(id), Qt::LeftButton, {}, button(id)->rect().center()); }

  TempDir dir;
  WorkingFolder folder{dir.path()};
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  FakeCamera camera{{texturedPicture(kWidth, kHeight, 1)}};
  RecordingExitPath exitPath;
  ScopedWorkingDirectory cwd{dir.path()};
  std::unique_ptr<COrvalisDlg> window_;  // last: goes before what it refers to
};

class WindowTest : public ::testing::Test, public WindowHarness {};

}  // namespace orvalis::testing
