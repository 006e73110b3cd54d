// The program: one window over one workspace, the first camera as the query
// source when no still picture is there, and the process exit path.

#include <QApplication>
#include <QImageReader>
#include <cstdio>
#include <memory>

#include "capture/qt/qtCamera.h"
#include "control/exitPath.h"
#include "state/workspace.h"
#include "files/paths.h"
#include "ui/appIcon.h"
#include "ui/orvalisDlg.h"

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
  QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
  // --log: a line on standard error for every archive picture searched, in
  // the words of orvalis-search --human, for whoever watches from outside.
  if (QCoreApplication::arguments().contains(QStringLiteral("--log"))) {
    window.searchControl().setTickLog(stderr);
  }
  window.initDialog(orvalis::COrvalisDlg::StartShow::Minimized);
  return app.exec();
}
