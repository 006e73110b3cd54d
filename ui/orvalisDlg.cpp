#include "ui/orvalisDlg.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <cstdint>
#include <vector>

#include "ui/aboutDlg.h"
#include "ui/appIcon.h"
#include "ui/dataExchange.h"
#include "ui/dialogTemplate.h"
#include "ui/drawBuffer.h"

namespace orvalis {
namespace {

// The client area below the menu bar. Its paint handler is the window's.
class ClientArea : public QWidget {
 public:
  ClientArea(COrvalisDlg& window, QWidget* parent) : QWidget(parent), window_(window) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    window_.paintClient(painter);
  }

 private:
  COrvalisDlg& window_;
};

// The classic dialog look: group box captions set into the frame line and
// compact radio buttons, so that the captions fit the template's rectangles.
// One instance for the process, owned by the application.
QStyle* classicStyle() {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = QStyleFactory::create(QStringLiteral("Windows"));
    if (!style.isNull()) style->setParent(QCoreApplication::instance());
  }
  return style.data();
}

Parameter listParameter(int id) {
  switch (id) {
    case kFramesPerSecondList: return Parameter::FramesPerSecond;
    case kFilterRadiusList: return Parameter::FilterRadius;
    default: return Parameter::ColorTolerance;
  }
}

}  // namespace

COrvalisDlg::COrvalisDlg(Workspace& workspace, FrameSource& camera, ExitPath& exitPath, QWidget* parent)
    : QDialog(parent),
      workspace_(workspace),
      control_(workspace, *this, camera, exitPath),
      appIcon_(appIcon()) {
  // A fixed window with a minimize box and no maximize box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Orvalis 1.0"));
  setWindowIcon(appIcon_);
  setSizeGripEnabled(false);
  // The pixel size of the 8-point dialog font at 96 DPI, so that the captions
  // fit the rectangles laid out in dialog units.
  QFont dialogFont = font();
  dialogFont.setPixelSize(11);
  setFont(dialogFont);

  // The About entry: a "?" menu, and the client area's context menu.
  menuBar_ = new QMenuBar(this);
  QMenu* helpMenu = menuBar_->addMenu(QStringLiteral("?"));
  aboutAction_ = helpMenu->addAction(QStringLiteral("&About Orvalis..."));
  connect(aboutAction_, &QAction::triggered, this, &COrvalisDlg::showAbout);

  client_ = new ClientArea(*this, this);
  client_->setFixedSize(dialogUnitsToPixelsX(kDialogWidthUnits), dialogUnitsToPixelsY(kDialogHeightUnits));
  client_->setContextMenuPolicy(Qt::ActionsContextMenu);
  client_->addAction(aboutAction_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuBar_);
  layout->addWidget(client_);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  buildControls();

  // Timer 1. A single timer never queues ticks: one that overruns its period
  // delays the next instead of piling up.
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { control_.onTimerTick(); });

  connectCommands();

  scanEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (scanEvent_ >= 0) {
    scanNotifier_ = new QSocketNotifier(scanEvent_, QSocketNotifier::Read, this);
    connect(scanNotifier_, &QSocketNotifier::activated, this, &COrvalisDlg::scanDone);
  }
  scanThread_.start([this] { scanLoop(); });
}

COrvalisDlg::~COrvalisDlg() {
  timer_.stop();
  scanThread_.stop();
  if (scanEvent_ >= 0) ::close(scanEvent_);
}

void COrvalisDlg::scanLoop() {
  std::unique_lock<std::mutex> lock(scanThread_.mutex());
  while (scanThread_.waitUntil(lock, [this] { return scanJob_ != nullptr && !scanRunning_; })) {
    scanRunning_ = true;
    ScanJob* job = scanJob_;
    lock.unlock();
    // cppcheck-suppress nullPointer ; the wait above returns only with scanJob_ set
    job->runScan();
    lock.lock();
    scanRunning_ = false;
    scanJob_ = nullptr;
    scanIdle_.notify_all();
    const std::uint64_t one = 1;
    // An eventfd write fails only when the counter is full, and then a
    // wake-up is pending anyway.
    if (scanEvent_ >= 0) {
      [[maybe_unused]] const ssize_t written = ::write(scanEvent_, &one, sizeof one);
    }
  }
}

void COrvalisDlg::startScan(ScanJob& job) {
  if (scanEvent_ < 0) {
    // No event descriptor to wake on: the scan runs here, as it always did.
    job.runScan();
    job.finishScan();
    return;
  }
  scanThread_.change([&] {
    scanJob_ = &job;
    finishJob_ = &job;
  });
}

void COrvalisDlg::waitForScan() {
  std::unique_lock<std::mutex> lock(scanThread_.mutex());
  scanIdle_.wait(lock, [this] { return scanJob_ == nullptr; });
  finishJob_ = nullptr;
}

void COrvalisDlg::scanDone() {
  std::uint64_t count = 0;
  // The count is not needed: the job's state says what finished.
  [[maybe_unused]] const ssize_t got = ::read(scanEvent_, &count, sizeof count);
  ScanJob* finish = nullptr;
  {
    std::lock_guard<std::mutex> lock(scanThread_.mutex());
    if (scanJob_ == nullptr) std::swap(finish, finishJob_);
  }
  if (finish != nullptr) finish->finishScan();
}

void COrvalisDlg::buildControls() {
  stepGroup_ = new QButtonGroup(this);
  std::vector<QGroupBox*> groupBoxes;
  QWidget* previousInTabOrder = nullptr;

  for (const ControlTemplate& t : kMainTemplate) {
    const QString caption = QString::fromUtf8(t.caption);
    QWidget* widget = nullptr;
    switch (t.kind) {
      case ControlKind::PushButton: {
        // Neither default nor auto-default: a dialog would otherwise make
        // the first button that ever had the focus its default, and Enter
        // on a list would press it. Enter is handled in keyPressEvent.
        auto* button = new QPushButton(caption, client_);
        button->setAutoDefault(false);
        button->setDefault(false);
        widget = button;
        break;
      }
      case ControlKind::RadioButton: {
        auto* radio = new QRadioButton(caption, client_);
        stepGroup_->addButton(radio, t.id - kStep1Radio);
        widget = radio;
        break;
      }
      case ControlKind::GroupBox: {
        auto* box = new QGroupBox(caption, client_);
        box->setFocusPolicy(Qt::NoFocus);
        groupBoxes.push_back(box);
        widget = box;
        break;
      }
      case ControlKind::DropDownList: {
        auto* list = new QComboBox(client_);
        list->setEditable(false);
        fillOptionList(*list, listParameter(t.id));
        widget = list;
        break;
      }
    }
    widget->setGeometry(controlRect(t));
    if (t.id != kNoId) {
      widget->setObjectName(QString::number(t.id));
      controls_[t.id] = widget;
    }
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previousInTabOrder != nullptr) setTabOrder(previousInTabOrder, widget);
      previousInTabOrder = widget;
    }
  }
  if (QStyle* style = classicStyle()) {
    for (QWidget* widget : client_->findChildren<QWidget*>()) widget->setStyle(style);
  }
  // The frames lie under the controls they surround, so they never take a
  // click meant for one of them.
  for (QGroupBox* box : groupBoxes) box->lower();
}

void COrvalisDlg::connectCommands() {
  const auto onClick = [this](int id, void (SearchControl::*command)()) {
    connect(static_cast<QAbstractButton*>(control(id)), &QAbstractButton::clicked, this,
            [this, command] { (control_.*command)(); });
  };
  connect(static_cast<QAbstractButton*>(control(kCloseButton)), &QAbstractButton::clicked, this,
          &COrvalisDlg::closeSequence);
  onClick(kNewSearchButton, &SearchControl::startNewSearch);
  onClick(kAdjustButton, &SearchControl::enterAdjustMode);
  onClick(kRightButton, &SearchControl::moveViewfinderRight);
  onClick(kLeftButton, &SearchControl::moveViewfinderLeft);
  onClick(kUpButton, &SearchControl::moveViewfinderUp);
  onClick(kDownButton, &SearchControl::moveViewfinderDown);
  onClick(kGrowButton, &SearchControl::growViewfinder);
  onClick(kShrinkButton, &SearchControl::shrinkViewfinder);
  for (int index = 0; index < 4; ++index) {
    connect(static_cast<QAbstractButton*>(control(kStep1Radio + index)), &QAbstractButton::clicked, this,
            [this, index] { control_.selectViewfinderStep(kViewfinderSteps[index]); });
  }

  // activated, not currentIndexChanged: only the user's choices are
  // commands; the program showing the parameters selects items silently.
  const auto onChoice = [this](int id, const auto& command) {
    auto* list = static_cast<QComboBox*>(control(id));
    const Parameter parameter = listParameter(id);
    connect(list, &QComboBox::activated, this, [parameter, command](int index) {
      const auto options = optionTable(parameter);
      if (index >= 0 && static_cast<std::size_t>(index) < options.size()) command(options[index].value);
    });
  };
  onChoice(kFilterRadiusList, [this](std::uint32_t value) { control_.selectFilterRadius(value); });
  onChoice(kColorToleranceList,
           [this](std::uint32_t value) { control_.selectColorTolerance(static_cast<std::uint8_t>(value)); });
  onChoice(kFramesPerSecondList, [this](std::uint32_t value) { control_.selectFramesPerSecond(value); });
}

void COrvalisDlg::initDialog(StartShow show) {
  if (show == StartShow::Minimized) {
    showMinimized();
  } else {
    showNormal();
  }
  control_.prepareControls();
  control_.startUp();
}

QWidget* COrvalisDlg::control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void COrvalisDlg::startTimer(unsigned periodMs) {
  timer_.start(static_cast<int>(periodMs));
}

void COrvalisDlg::stopTimer() {
  timer_.stop();
}

// Ticks ask for a repaint; the paint handler draws everything.
void COrvalisDlg::paintViews() {
  client_->update();
}

void COrvalisDlg::showMode(WindowMode mode) {
  const bool adjust = mode == WindowMode::Adjust;
  control(kNewSearchButton)->setVisible(adjust);
  control(kAdjustButton)->setVisible(!adjust);
  for (int id : kParameterControls) control(id)->setEnabled(adjust);
}

void COrvalisDlg::showParameters(const SearchParameters& parameters) {
  checkRadioIndex(*stepGroup_, stepIndexOf(parameters.viewfinderStep));
  selectOptionOf(*static_cast<QComboBox*>(control(kFramesPerSecondList)), Parameter::FramesPerSecond,
                 parameters.framesPerSecond);
  selectOptionOf(*static_cast<QComboBox*>(control(kFilterRadiusList)), Parameter::FilterRadius,
                 parameters.filterRadius);
  selectOptionOf(*static_cast<QComboBox*>(control(kColorToleranceList)), Parameter::ColorTolerance,
                 parameters.colorTolerance);
}

void COrvalisDlg::endDialog() {
  QDialog::done(QDialog::Rejected);
}

void COrvalisDlg::closeSequence() {
  if (closing_) return;
  closing_ = true;
  control_.closeApplication();
}

void COrvalisDlg::reject() {
  closeSequence();
}

void COrvalisDlg::keyPressEvent(QKeyEvent* event) {
  // Enter presses the push button that has the focus and does nothing
  // elsewhere: there is no default button and no OK command. Esc goes on to
  // the dialog, which rejects: the close sequence.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button != nullptr && button->isEnabled() && button->isVisible()) button->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void COrvalisDlg::closeEvent(QCloseEvent* event) {
  closeSequence();
  event->accept();
}

void COrvalisDlg::showAbout() {
  CAboutDlg about(this);
  about.exec();
}

void COrvalisDlg::paintClient(QPainter& painter) {
  SearchState& s = workspace_.state;
  const ImageStore& images = workspace_.images;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);

  const ViewGeometry geometry =
      viewGeometry(s.archiveWidth, s.archiveHeight, s.queryWidth, s.queryHeight, s.landscape == 1);

  for (const PixelRect& region : {kPictureArea, kUpperBand, kLowerBand}) {
    drawBuffer(painter, images.backgroundImage.data(), s.backgroundWidth, s.backgroundHeight, region);
  }
  if (s.painted == 1) drawViews(painter, geometry);
}

void COrvalisDlg::drawViews(QPainter& painter, const ViewGeometry& geometry) {
  const SearchState& s = workspace_.state;
  const ImageStore& images = workspace_.images;
  drawBuffer(painter, images.queryImage.data(), s.queryWidth, s.queryHeight, geometry.queryView);
  drawBuffer(painter, images.archiveImage.data(), s.archiveWidth, s.archiveHeight, geometry.archiveView);
  if (s.searchStopped == 1) {
    drawBuffer(painter, images.templatePreview.data(), s.previewWidth, s.previewHeight, geometry.previews[0]);
    drawBuffer(painter, images.matchPreview.data(), s.previewWidth, s.previewHeight, geometry.previews[1]);
    drawBuffer(painter, images.differencePreview.data(), s.previewWidth, s.previewHeight,
               geometry.previews[2]);
  }
}

}  // namespace orvalis
