// The program: one window over one workspace, the first camera as the query
// source when no still picture is there, and the process exit path. Before
// any of it, the working folder: the one named, the current directory, or,
// from the desktop, the one the user picks.

#include <fcntl.h>
#include <orvalisVersion.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QSettings>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "capture/qt/qtCamera.h"
#include "control/exitPath.h"
#include "files/paths.h"
#include "platform/safeFile.h"
#include "state/workspace.h"
#include "ui/appIcon.h"
#include "ui/orvalisDlg.h"
#include "ui/workingFolder.h"

namespace {

constexpr int kUsageExit = 2;

// ~/.config/orvalis/orvalis.conf: the folder chosen last and the trusted folders.
QSettings settings() {
  return QSettings(QStringLiteral("orvalis"), QStringLiteral("orvalis"));
}

QString canonical(const std::string& folder) {
  return QFileInfo(QString::fromStdString(folder)).canonicalFilePath();
}

// --trust FOLDER: kept in the settings by its canonical path.
int trust(const std::string& argument) {
  const QString folder = canonical(argument);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
    std::fprintf(stderr, "orvalis: --trust: %s is not a folder\n", argument.c_str());
    return kUsageExit;
  }
  QSettings stored = settings();
  QStringList trusted = stored.value(QStringLiteral("trustedFolders")).toStringList();
  if (!trusted.contains(folder)) trusted.append(folder);
  stored.setValue(QStringLiteral("trustedFolders"), trusted);
  stored.sync();
  if (stored.status() != QSettings::NoError) {
    std::fprintf(stderr, "orvalis: --trust: the settings file %s can't be written\n",
                 stored.fileName().toLocal8Bit().constData());
    return kUsageExit;
  }
  std::fprintf(stderr, "orvalis: %s is trusted: its own exit scripts run\n",
               folder.toLocal8Bit().constData());
  return 0;
}

// The installed share/orvalis/res beside bin/, or, for the program in the
// build tree, the source tree's res/.
std::string defaultResources() {
  const QString programDir = QCoreApplication::applicationDirPath();
  std::vector<std::string> candidates{(programDir + QStringLiteral("/../share/orvalis/res")).toStdString()};
  if (QFileInfo(programDir) == QFileInfo(QStringLiteral(ORVALIS_BUILD_DIR))) {
    candidates.emplace_back(ORVALIS_SOURCE_DIR "/res");
  }
  return orvalis::findDefaultResources(candidates);
}

// Enters the working folder and returns the folder the exit scripts come
// from, or the exit code when the program should not go on.
std::optional<std::string> enterWorkingFolder(const orvalis::WindowArguments& arguments, int& exitCode) {
  std::string folder = arguments.folder;
  if (folder.empty() && arguments.fromDesktop) {
    const QString last = settings().value(QStringLiteral("lastFolder")).toString();
    const QString chosen =
        QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Orvalis: choose the working folder"),
                                          last.isEmpty() ? QDir::homePath() : last);
    if (chosen.isEmpty()) {
      exitCode = 0;  // the user chose nothing
      return std::nullopt;
    }
    folder = chosen.toStdString();
  }
  if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "orvalis: can't work in %s: %s\n", folder.c_str(), std::strerror(errno));
    exitCode = kUsageExit;
    return std::nullopt;
  }
  const QString here = QDir::currentPath();
  if (arguments.fromDesktop) settings().setValue(QStringLiteral("lastFolder"), here);

  const std::string defaults = defaultResources();
  std::string message;
  if (orvalis::provideDefaultResources(here.toStdString(), defaults, message)) {
    std::fprintf(stderr, "orvalis: %s\n", message.c_str());
  }
  const bool trusted = settings()
                           .value(QStringLiteral("trustedFolders"))
                           .toStringList()
                           .contains(QFileInfo(here).canonicalFilePath());
  return orvalis::exitScriptFolder(
      arguments.fromDesktop ? orvalis::FolderOrigin::Desktop : orvalis::FolderOrigin::Terminal, trusted,
      orvalis::userScriptFolder(), defaults);
}

}  // namespace

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
  // --help and --version need no display, so they are answered before Qt starts.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(orvalis::windowUsage(), stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orvalis %s\n", ORVALIS_VERSION);
      return 0;
    }
  }

  // Nor does --trust, unless Qt options came with it.
  const orvalis::ParsedWindowArguments early =
      orvalis::parseWindowArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (early.ok && !early.arguments.trustFolder.empty()) return trust(early.arguments.trustFolder);

  QApplication app(argc, argv);  // takes Qt's own options out of argv
  app.setApplicationName(QStringLiteral("Orvalis"));
  app.setApplicationVersion(QStringLiteral(ORVALIS_VERSION));
  app.setWindowIcon(orvalis::appIcon());

  const orvalis::ParsedWindowArguments parsed =
      orvalis::parseWindowArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "orvalis: %s (see --help)\n", parsed.error.c_str());
    return kUsageExit;
  }
  if (!parsed.arguments.trustFolder.empty()) return trust(parsed.arguments.trustFolder);
  int exitCode = 0;
  const std::optional<std::string> scriptFolder = enterWorkingFolder(parsed.arguments, exitCode);
  if (!scriptFolder) return exitCode;

  auto workspace = std::make_unique<orvalis::Workspace>();
  orvalis::ProcessExitPath exitPath(*scriptFolder);

  // The camera is asked for the archive's picture size, read from the header
  // of archive picture 0; without it the adapter takes its largest format.
  // It is opened only if start-up chooses camera mode.
  // Only a regular file is read: a named pipe there would block the reader
  // before start-up could refuse it.
  QSize archiveSize;
  orvalis::FileStatus firstStatus = orvalis::FileStatus::Ok;
  const int first = orvalis::openRegularFileForReading(orvalis::kFirstArchivePath, firstStatus);
  if (first >= 0) {
    QFile file;
    if (file.open(first, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
      archiveSize = QImageReader(&file).size();
    } else {
      ::close(first);
    }
  }
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
  if (parsed.arguments.log) window.searchControl().setTickLog(stderr);
  window.initDialog(orvalis::COrvalisDlg::StartShow::Minimized);
  return app.exec();
}
