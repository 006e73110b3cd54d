// The program: one window over one workspace, the first camera as the query
// source when no still picture is there, and the process exit path.

#include <QApplication>
#include <QImageReader>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

#include "capture/qt/qtCamera.h"
#include "control/exitPath.h"
#include "state/workspace.h"
#include "files/paths.h"
#include "ui/appIcon.h"
#include "ui/orvalisDlg.h"

namespace {

// SIGTERM (a service manager or a session ending the program) closes the
// window as its close box does. The handler may only write to a pipe; the
// event loop reads it. The one static: a signal handler can reach nothing else.
int terminateWriteEnd = -1;

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(terminateWriteEnd, &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Orvalis"));
  app.setWindowIcon(orvalis::appIcon());

  auto workspace = std::make_unique<orvalis::Workspace>();
  orvalis::ProcessExitPath exitPath;

  // The camera is asked for the archive's picture size, read from the header
  // of archive picture 0; without it the adapter takes its largest format.
  // It is opened only if start-up chooses camera mode.
  const QSize archiveSize = QImageReader(QString::fromUtf8(orvalis::kFirstArchivePath)).size();
  orvalis::QtCameraSource camera(
      archiveSize.isValid() ? static_cast<std::uint32_t>(archiveSize.width()) : 0,
      archiveSize.isValid() ? static_cast<std::uint32_t>(archiveSize.height()) : 0);

  orvalis::COrvalisDlg window(*workspace, camera, exitPath);
  // Queued: a close asked for during start-up finishes the dialog before the
  // event loop runs, and a quit before the loop would be lost.
  QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);

  int terminatePipe[2];
  std::unique_ptr<QSocketNotifier> terminateNotifier;
  if (::pipe2(terminatePipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    terminateWriteEnd = terminatePipe[1];
    terminateNotifier = std::make_unique<QSocketNotifier>(terminatePipe[0], QSocketNotifier::Read);
    QObject::connect(terminateNotifier.get(), &QSocketNotifier::activated, &window, [&window, terminatePipe] {
      char bytes[16];
      while (::read(terminatePipe[0], bytes, sizeof bytes) > 0) {
      }
      window.close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
  }
  // --log: a line on standard error for every archive picture searched, in
  // the words of orvalis-search --human, for whoever watches from outside.
  if (QCoreApplication::arguments().contains(QStringLiteral("--log"))) {
    window.searchControl().setTickLog(stderr);
  }
  window.initDialog(orvalis::COrvalisDlg::StartShow::Minimized);
  return app.exec();
}
