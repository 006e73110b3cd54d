#pragma once

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "capture/frameSource.h"
#include "control/exitPath.h"
#include "control/searchControl.h"
#include "control/window.h"
#include "platform/stoppableThread.h"
#include "state/workspace.h"
#include "ui/dialogTemplate.h"
#include "ui/viewGeometry.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QMenuBar;
class QPainter;
class QSocketNotifier;

namespace orvalis {

// The main window: the picture area on the left, the controls on the right.
// It stays thin: every click, list change and timer tick goes straight to the
// search control, which drives the window back through the Window interface.
class COrvalisDlg : public QDialog, public Window {
  Q_OBJECT

 public:
  COrvalisDlg(Workspace& workspace, FrameSource& camera, ExitPath& exitPath, QWidget* parent = nullptr);
  ~COrvalisDlg() override;

  enum class StartShow { Minimized, Normal };

  // The window's initialisation, in order: shown (minimized unless asked
  // otherwise), controls in their start state, the start-up sequence. The
  // About entry and the icons are set up at construction.
  void initDialog(StartShow show = StartShow::Minimized);

  // Window
  void startTimer(unsigned periodMs) override;
  void stopTimer() override;
  void paintViews() override;
  void showMode(WindowMode mode) override;
  void showParameters(const SearchParameters& parameters) override;
  void startScan(ScanJob& job) override;
  void waitForScan() override;
  void endDialog() override;

  // The control with that identifier (1000..1017), or nullptr.
  QWidget* control(int id) const;
  // The area holding the pictures and the controls, below the menu bar.
  QWidget* clientArea() const { return client_; }
  QAction* aboutAction() const { return aboutAction_; }
  QMenuBar* menuBar() const { return menuBar_; }
  const QTimer& searchTimer() const { return timer_; }
  SearchControl& searchControl() { return control_; }

  // The paint handler of the client area: the backdrop, and the views once a
  // tick has drawn them.
  void paintClient(QPainter& painter);

 public slots:
  // Esc: the same close sequence as "Chiudi".
  void reject() override;
  void showAbout();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void connectCommands();
  void closeSequence();
  void drawViews(QPainter& painter, const ViewGeometry& geometry);
  void scanLoop();
  void scanDone();

  Workspace& workspace_;
  SearchControl control_;
  QIcon appIcon_;
  QTimer timer_;
  QMenuBar* menuBar_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QWidget* client_ = nullptr;
  QButtonGroup* stepGroup_ = nullptr;
  std::map<int, QWidget*> controls_;
  bool closing_ = false;

  // The scan thread, made once with the window: it runs one ScanJob at a
  // time and wakes the window's thread through an event descriptor, which
  // costs no allocation a tick.
  std::condition_variable scanIdle_;
  ScanJob* scanJob_ = nullptr;  // set while a job waits or runs
  bool scanRunning_ = false;
  ScanJob* finishJob_ = nullptr;  // the job the window still owes its finishScan
  int scanEvent_ = -1;
  QSocketNotifier* scanNotifier_ = nullptr;
  StoppableThread scanThread_;
};

}  // namespace orvalis
