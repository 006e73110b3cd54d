// The real window with a fake camera: controls, views; its arguments and resources.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "files/parametersFile.h"
#include "tests/support/fakes.h"
#include "tests/support/workingFolder.h"
#include "ui/orvalisDlg.h"
#include "ui/workingFolder.h"

namespace orvalis::testing {
namespace {

namespace fs = std::filesystem;

// A fatal exit fails the test instead of ending it.
class RecordingExitPath : public ExitPath {
 public:
  void runScript(ExitScript script) override { scripts.push_back(script); }
  [[noreturn]] void exitProcess(int code) override {
    throw std::runtime_error("the window ended the process with code " + std::to_string(code));
  }
  std::vector<ExitScript> scripts;
};

// Room for every viewfinder command with step 10 around radius 50 at the centre.
inline constexpr std::uint32_t kWidth = 320, kHeight = 240;

struct WindowHarness {
  WindowHarness() { folder.backdrop(); }
  // Picture 1 of the archive is the query; still-image mode adds it as still.
  void cameraFolder() {
    folder.archive({texturedPicture(kWidth, kHeight, 7), texturedPicture(kWidth, kHeight, 1)});
  }
  void stillFolder() {
    folder.still(texturedPicture(kWidth, kHeight, 1));
    cameraFolder();
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
  // "rate|filter|tolerance|" as the lists show them, then the checked steps.
  std::string shown() {
    std::string text;
    for (int id : {kFramesPerSecondList, kFilterRadiusList, kColorToleranceList}) {
      text += list(id)->currentText().toStdString() + "|";
    }
    const std::pair<int, const char*> steps[] = {
        {kStep1Radio, "1"}, {kStep10Radio, "10"}, {kStep25Radio, "25"}, {kStep50Radio, "50"}};
    for (const auto& [id, step] : steps) text += button(id)->isChecked() ? step : "";
    return text;
  }
  QAbstractButton* button(int id) { return qobject_cast<QAbstractButton*>(window().control(id)); }
  void expectMode(bool adjust) {
    for (int id : kParameterControls) EXPECT_EQ(window().control(id)->isEnabled(), adjust) << id;
    EXPECT_EQ(window().control(kAdjustButton)->isHidden(), adjust);
    EXPECT_EQ(window().control(kNewSearchButton)->isHidden(), !adjust);
  }
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

using Close = WindowTest;

TEST_F(Close, ChiudiTheCloseBoxAndEscRunTheOneCloseSequenceOnce) {
  const std::pair<const char*, std::function<void(WindowHarness&)>> ways[] = {
      {"Chiudi", [](WindowHarness& h) { h.click(kCloseButton); }},
      {"close box", [](WindowHarness& h) { h.window().close(); }},
      {"Esc", [](WindowHarness& h) { QTest::keyClick(&h.window(), Qt::Key_Escape); }},
  };
  for (const auto& [name, close] : ways) {
    SCOPED_TRACE(name);
    WindowHarness h;
    h.cameraFolder();
    h.started();
    ASSERT_TRUE(h.window().searchTimer().isActive());
    QSignalSpy finished(&h.window(), &QDialog::finished);
    close(h);
    close(h);
    EXPECT_FALSE(h.window().searchTimer().isActive());
    EXPECT_EQ(h.camera.stops, 1) << "the camera must be released exactly once";
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(h.window().isVisible());
    EXPECT_FALSE(fs::exists(kParametersPath)) << "nothing is saved at close";
  }
}

using Modes = WindowTest;

TEST_F(Modes, StartUpIsMinimizedInSearchModeAndShowsWhatItLoaded) {
  stillFolder();
  window().initDialog();
  EXPECT_TRUE(window().windowState() & Qt::WindowMinimized);
  expectMode(false);
  EXPECT_EQ(shown(),
            "Immagini elaborate per secondo:   1|Raggio della filtrazione immagine:   8 pixels|Precisione "
            "cromatica della ricerca:   16|25");
  EXPECT_EQ(window().searchTimer().interval(), 1000);
  EXPECT_TRUE(exitPath.scripts.empty() && camera.starts == 0)
      << "still-image mode starts no camera, no script";
  // No item may claim a value the lists don't offer; showing is no command.
  const SearchParameters loaded(state());
  window().showParameters({256, 20, 40, 50, 0, 0, 0});
  EXPECT_EQ(shown(),
            "Immagini elaborate per secondo:   256|Raggio della filtrazione immagine:   20 pixels|Precisione "
            "cromatica della ricerca:   40|50");
  window().showParameters({3, 0, 17, 7, 0, 0, 0});
  EXPECT_EQ(shown(), "|||1");  // an unknown step shows the first
  EXPECT_EQ(SearchParameters(state()), loaded);
  EXPECT_FALSE(fs::exists(kParametersPath)) << "the file appears only with the first command";
}

using Commands = WindowTest;

TEST_F(Commands, EachButtonRadioAndListSetsItsParameterAndSaves) {
  stillFolder();
  folder.parameters({1, 8, 16, 10, 120, 160, 50});  // every command is admitted
  started();
  click(kAdjustButton);
  expectMode(true);
  const auto press = [this](int id) { return [this, id] { click(id); }; };
  const auto key = [this](int id, Qt::Key k) { return [this, id, k] { QTest::keyClick(list(id), k); }; };
  // In turn: rate, filter, tolerance, step, row, column, radius.
  const std::tuple<const char*, std::function<void()>, SearchParameters> rows[] = {
      {"Alto", press(kUpButton), {1, 8, 16, 10, 110, 160, 50}},
      {"Basso", press(kDownButton), {1, 8, 16, 10, 120, 160, 50}},
      {"Sinistra", press(kLeftButton), {1, 8, 16, 10, 120, 150, 50}},
      {"Destra", press(kRightButton), {1, 8, 16, 10, 120, 160, 50}},
      {"Aumenta", press(kGrowButton), {1, 8, 16, 10, 120, 160, 60}},
      {"Diminuisci", press(kShrinkButton), {1, 8, 16, 10, 120, 160, 50}},
      {"step 50", press(kStep50Radio), {1, 8, 16, 50, 120, 160, 50}},
      {"step 25", press(kStep25Radio), {1, 8, 16, 25, 120, 160, 50}},
      {"step 10", press(kStep10Radio), {1, 8, 16, 10, 120, 160, 50}},
      {"step 1", press(kStep1Radio), {1, 8, 16, 1, 120, 160, 50}},
      {"rate", key(kFramesPerSecondList, Qt::Key_Down), {2, 8, 16, 1, 120, 160, 50}},
      {"filter", key(kFilterRadiusList, Qt::Key_Down), {2, 9, 16, 1, 120, 160, 50}},
      {"tolerance", key(kColorToleranceList, Qt::Key_Up), {2, 9, 14, 1, 120, 160, 50}},
  };
  for (const auto& [what, act, expected] : rows) {
    SCOPED_TRACE(what);
    fs::remove(kParametersPath);
    act();
    SearchParameters saved{};
    EXPECT_EQ(loadParameters(saved), FileStatus::Ok);
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(SearchParameters(state()), expected);
  }
  // No button is the default: Enter on a list does nothing, on a button presses it.
  QSignalSpy finished(&window(), &QDialog::finished);
  list(kFramesPerSecondList)->setFocus();
  QTest::keyClick(list(kFramesPerSecondList), Qt::Key_Return);
  window().control(kUpButton)->setFocus();
  QTest::keyClick(window().control(kUpButton), Qt::Key_Enter);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_EQ(state().viewfinderY, 119u);               // the new step drives the next move
  EXPECT_EQ(window().searchTimer().interval(), 100);  // the new rate waits for a new search
  click(kNewSearchButton);
  expectMode(false);
  EXPECT_EQ(state().archiveIndex, -2);
  EXPECT_TRUE(window().searchTimer().isActive());
  EXPECT_EQ(window().searchTimer().interval(), 500);
}

// Each picture one plain colour, so a pixel tells which picture covers it.
class Painting : public WindowTest {
 protected:
  static void fill(BgrImage& image, std::uint32_t width, std::uint32_t height, QRgb rgb) {
    for (std::size_t i = 0; i < 3 * std::size_t{width} * height; ++i)
      image.data()[i] = static_cast<std::uint8_t>(rgb >> (8 * (i % 3)));
  }
  void pictures(std::uint32_t width, std::uint32_t height) {
    SearchState& s = state();
    ImageStore& im = ws->images;
    s.backgroundWidth = s.backgroundHeight = 8;
    fill(im.backgroundImage, 8, 8, kBackdrop);
    s.queryWidth = s.archiveWidth = width;
    s.queryHeight = s.archiveHeight = height;
    s.landscape = width >= height ? 1 : 0;
    fill(im.queryImage, width, height, kQuery);
    fill(im.archiveImage, width, height, kArchive);
    s.previewWidth = s.previewHeight = 41;
    fill(im.templatePreview, 41, 41, kTemplate);
    fill(im.matchPreview, 41, 41, kMatch);
    fill(im.differencePreview, 41, 41, kDifference);
  }
  QRgb at(int x, int y) { return window().clientArea()->grab().toImage().pixel(x, y) & 0xFFFFFF; }

  static constexpr QRgb kBackdrop = 0x3C3C3C, kQuery = 0xFF0000, kArchive = 0x00FF00, kTemplate = 0x0000FF,
                        kMatch = 0xFFFF00, kDifference = 0xFF00FF;
};

// Views 400 x 300 stacked, previews at x 445; portrait: side by side, previews at y 445.
TEST_F(Painting, ViewsAndPreviewsLandWhereTheLayoutPutsThemAfterTheFirstTick) {
  const std::tuple<std::uint32_t, std::uint32_t, int, int, QRgb> probes[] = {
      {640, 480, 200, 150, kQuery},    {640, 480, 399, 299, kQuery},      {640, 480, 200, 470, kArchive},
      {640, 480, 200, 310, kBackdrop}, {640, 480, 420, 150, kBackdrop},   {640, 480, 520, 150, kTemplate},
      {640, 480, 520, 320, kMatch},    {640, 480, 520, 490, kDifference}, {640, 480, 520, 235, kBackdrop},
      {640, 480, 700, 60, kBackdrop},  {640, 480, 949, 600, kBackdrop},   {480, 640, 150, 200, kQuery},
      {480, 640, 470, 200, kArchive},  {480, 640, 310, 200, kBackdrop},   {480, 640, 150, 520, kTemplate},
      {480, 640, 320, 520, kMatch},    {480, 640, 490, 520, kDifference},
  };
  pictures(640, 480);
  EXPECT_EQ(at(200, 150), kBackdrop) << "no tick has run yet";
  state().painted = 1;
  EXPECT_EQ(at(520, 150), kBackdrop) << "no match, no previews";
  state().searchStopped = 1;
  for (const auto& [width, height, x, y, expected] : probes) {
    pictures(width, height);
    EXPECT_EQ(at(x, y), expected) << width << " x " << height << " at " << x << ", " << y;
  }
  // The control column's middle is no backdrop band.
  EXPECT_NE(at(700, 300), kBackdrop);
}

// A scan runs on the window's thread, no tick overlaps it, its end repaints.
TEST_F(Painting, ASearchTickRepaintsTheClientAreaWithTheMatch) {
  stillFolder();
  started();
  for (int tick = 0; tick < 3 && state().searchStopped == 0; ++tick) {
    window().searchControl().onTimerTick();
    const std::int32_t index = state().archiveIndex;
    window().searchControl().onTimerTick();
    EXPECT_EQ(state().archiveIndex, index) << "a tick overlapped the scan";
    QTRY_VERIFY_WITH_TIMEOUT(!window().searchControl().scanInFlight(), 20000);
  }
  ASSERT_EQ(state().searchStopped, 1);
  window().searchControl().onTimerTick();
  EXPECT_FALSE(window().searchControl().scanInFlight()) << "the match did not end the walk";
  EXPECT_EQ(state().archiveIndex, 1);
  // The template preview at 445, 75; the query view gray.
  EXPECT_NE(at(520, 150), kBackdrop);
  const QRgb query = at(100, 100);
  EXPECT_TRUE(qRed(query) == qGreen(query) && qGreen(query) == qBlue(query)) << query;
}

TEST(WindowArguments, FolderFlagsAndRefusals) {
  // "folder|trust folder|d when from the desktop|Qt's options", or the refusal.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "||"},
      {{"pics"}, "pics||"},
      {{"--from-desktop", "/a b"}, "/a b||d"},
      {{"--from-desktop"}, "||d"},
      {{"--trust=pics"}, "|pics|"},
      {{"--trust", "pics"}, "|pics|"},
      {{"--", "-odd"}, "-odd||"},
      {{"--trust=--log"}, "|--log|"},
      // Qt's own options before "--" go to Qt, with their values.
      {{"-platform", "xcb", "--reverse", "-style=x", "d"}, "d|||-platform|xcb|--reverse|-style=x"},
      {{"-platform"}, "the Qt option -platform needs a value"},
      {{"--trust"}, "--trust needs a folder (one whose name starts with - goes as --trust=FOLDER)"},
      {{"--trust="}, "--trust needs a folder"},
      {{"--fast"}, "unknown option --fast"},
      {{"a", "b"}, "unexpected argument 'b' (one folder at most)"},
      // The search profile, taken as orvalis-search takes it.
      {{"--scales", "0.9:1.1", "--light", "--matches=3", "d"}, "d|||profile 0.9:1.1 light 3"},
      {{"--matches", "0"}, "--matches: '0' is not a whole number from 1 to 16"},
      {{"--light=1"}, "--light takes no value"},
      {{"--angles"}, "--angles needs a value (MIN:MAX)"},
  };
  for (const auto& [arguments, expected] : cases) {
    const ParsedWindowArguments parsed = parseWindowArguments(arguments);
    const WindowArguments& a = parsed.arguments;
    std::string taken =
        parsed.ok ? a.folder + "|" + a.trustFolder + "|" + (a.fromDesktop ? "d" : "") : parsed.error;
    for (const std::string& option : a.qtOptions) taken += "|" + option;
    const SearchProfile& p = a.profile;
    if (parsed.ok && p.given) {
      taken += "|profile " + (std::ostringstream() << p.scaleMin << ":" << p.scaleMax).str() +
               (p.light ? " light " : " ") + std::to_string(p.matches);
    }
    EXPECT_EQ(taken, expected);
  }
}

// A new folder gets the scripts and backdrop, never parameters; res/ stays as it is.
TEST(DefaultResources, ANewFolderGetsScriptsAndBackdropOnlyOnce) {
  testing::TempDir defaults, work, kept;
  for (const char* name :
       {"Missing_Resources.sh", "Device_Lost.sh", "Dark_Gray_Square.jpg", "Combo_Box_Parameters.bin"}) {
    testing::writeTextFile(defaults / name, name);
  }
  fs::create_directory(defaults / "Scanner_Mode.sh");  // not a plain file: skipped
  fs::create_directory(kept / "res");
  const std::string from = defaults.path().string();
  EXPECT_EQ(findDefaultResources({"", (work / "none").string(), from}), from);
  const std::tuple<fs::path, std::string, std::string> cases[] = {
      {work.path(), from, "copied Missing_Resources.sh, Device_Lost.sh, Dark_Gray_Square.jpg"},
      {kept.path(), from, ""},  // res/ is there: left alone, nothing said
      {work / "gone", from, "can't be made"},
      {kept / "res", "", "no default resources"},
  };
  for (const auto& [folder, source, said] : cases) {
    std::string message;
    EXPECT_EQ(provideDefaultResources(folder.string(), source, message), !said.empty()) << said;
    EXPECT_TRUE(said.empty() ? message.empty() : message.find(said) != std::string::npos) << message;
  }
  EXPECT_EQ(testing::readFile(work / "res/Device_Lost.sh"), testing::readFile(defaults / "Device_Lost.sh"));
  EXPECT_FALSE(fs::exists(work / "res/Combo_Box_Parameters.bin") || fs::exists(work / "res/Scanner_Mode.sh"));
  EXPECT_TRUE(fs::is_empty(kept / "res"));
}

}  // namespace
}  // namespace orvalis::testing

// One QApplication for the whole program, offscreen unless asked otherwise.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
