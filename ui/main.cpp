// The program: one window over one workspace, the first camera as the query
// source when no still picture is there, and the process exit path. Before
// any of it, the working folder: the one named, the current directory, or,
// from the desktop, the one the user picks.

#include <fcntl.h>
#include <orvalisVersion.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QMessageBox>
#include <QSettings>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// ~/.config/orvalis/orvalis.conf: the folder chosen last and the trusted
// folders, both as the bytes of their real paths. It is opened only when it
// is a regular file or absent: QSettings would hang on a named pipe there and
// replace a device with a file of its own.
struct Settings {
  std::string path;
  std::string problem;  // why it is not used; "" when it is
  std::unique_ptr<QSettings> file;
};

Settings openSettings() {
  Settings settings;
  const std::string folder = orvalis::configFolder();
  if (folder.empty()) {
    settings.problem = "there is no settings folder: neither XDG_CONFIG_HOME nor HOME is set";
    return settings;
  }
  settings.path = folder + "/orvalis.conf";
  settings.problem = orvalis::settingsFileProblem(settings.path);
  if (settings.problem.empty()) {
    settings.file =
        std::make_unique<QSettings>(QFile::decodeName(settings.path.c_str()), QSettings::IniFormat);
  }
  return settings;
}

// A stored path as bytes. Entries are byte arrays; an entry written as a
// string by an earlier version held U+FFFD wherever the path's bytes were not
// UTF-8, so such an entry names no folder at all.
std::optional<QByteArray> storedPath(const QVariant& value) {
  if (value.typeId() == QMetaType::QByteArray) return value.toByteArray();
  const QString text = value.toString();
  if (text.isEmpty() || text.contains(QChar::ReplacementCharacter)) return std::nullopt;
  return text.toUtf8();
}

std::vector<QByteArray> trustedFolders(QSettings& settings) {
  const QVariant value = settings.value(QStringLiteral("trustedFolders"));
  const bool list = value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList;
  std::vector<QByteArray> folders;
  for (const QVariant& entry : list ? value.toList() : QVariantList{value}) {
    if (std::optional<QByteArray> folder = storedPath(entry)) folders.push_back(*folder);
  }
  return folders;
}

bool holds(const std::vector<QByteArray>& folders, const std::string& folder) {
  return std::find(folders.begin(), folders.end(), QByteArray::fromStdString(folder)) != folders.end();
}

// --trust FOLDER: kept in the settings by the bytes of its real path.
int trust(const std::string& argument) {
  const std::string folder = orvalis::realPathOf(argument);
  struct stat info {};
  if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    std::fprintf(stderr, "orvalis: --trust: %s is not a folder\n", argument.c_str());
    return kUsageExit;
  }
  Settings settings = openSettings();
  if (settings.file == nullptr) {
    std::fprintf(stderr, "orvalis: --trust: the settings are not touched: %s; nothing was trusted\n",
                 settings.problem.c_str());
    return kUsageExit;
  }
  std::vector<QByteArray> trusted = trustedFolders(*settings.file);
  if (!holds(trusted, folder)) trusted.push_back(QByteArray::fromStdString(folder));
  QVariantList stored;
  for (const QByteArray& entry : trusted) stored.append(entry);
  settings.file->setValue(QStringLiteral("trustedFolders"), stored);
  settings.file->sync();
  // Said only once the entry can be read back from a regular file.
  const Settings reread = openSettings();
  const bool written = settings.file->status() == QSettings::NoError && reread.file != nullptr &&
                       holds(trustedFolders(*reread.file), folder);
  if (!written) {
    std::fprintf(stderr, "orvalis: --trust: the settings file %s can't be written; nothing was trusted\n",
                 settings.path.c_str());
    return kUsageExit;
  }
  std::fprintf(stderr, "orvalis: %s is trusted: its own exit scripts run\n", folder.c_str());
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

std::string currentFolder() {
  char folder[PATH_MAX];
  return ::getcwd(folder, sizeof folder) == nullptr ? std::string(".") : std::string(folder);
}

bool enter(const std::string& folder) {
  if (::chdir(folder.c_str()) == 0) return true;
  std::fprintf(stderr, "orvalis: can't work in %s: %s\n", folder.c_str(), std::strerror(errno));
  return false;
}

// From the desktop the working folder is the one a file manager named (and
// entered already) or the one picked in the folder dialog. A folder that is
// no working folder is explained in a message box and the dialog asked
// again; only a folder accepted is remembered. Returns false when the user
// cancelled the dialog.
bool chooseDesktopFolder(bool named, Settings& settings) {
  std::string problem = named ? orvalis::notAWorkingFolder(currentFolder()) : "";
  bool accepted = named && problem.empty();
  while (!accepted) {
    if (!problem.empty()) {
      std::fprintf(stderr, "orvalis: %s\n", problem.c_str());
      QMessageBox::warning(nullptr, QStringLiteral("Orvalis"), QString::fromLocal8Bit(problem));
    }
    QByteArray last;
    if (settings.file != nullptr) {
      last = storedPath(settings.file->value(QStringLiteral("lastFolder"))).value_or(QByteArray());
    }
    const QString chosen =
        QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Orvalis: choose the working folder"),
                                          last.isEmpty() ? QDir::homePath() : QFile::decodeName(last));
    if (chosen.isEmpty()) return false;
    // The dialog hands back text: a name that is not UTF-8 comes with U+FFFD
    // in it, which would name another folder or none.
    if (chosen.contains(QChar::ReplacementCharacter)) {
      problem = "the folder dialog can't name " + chosen.toStdString() +
                " exactly (its name is not UTF-8): open it from a file manager or a terminal";
      continue;
    }
    const std::string folder = QFile::encodeName(chosen).toStdString();
    if (::chdir(folder.c_str()) != 0) {
      problem = "can't work in " + folder + ": " + std::strerror(errno);
      continue;
    }
    problem = orvalis::notAWorkingFolder(folder);
    accepted = problem.empty();
  }
  if (settings.file != nullptr) {
    settings.file->setValue(QStringLiteral("lastFolder"),
                            QByteArray::fromStdString(orvalis::realPathOf(".")));
    settings.file->sync();
    if (settings.file->status() != QSettings::NoError) {
      std::fprintf(stderr, "orvalis: the folder can't be remembered: %s can't be written\n",
                   settings.path.c_str());
    }
  }
  return true;
}

// Qt sees only its own options: a folder named "-reverse" after "--" is ours.
struct QtArguments {
  explicit QtArguments(const char* program, const std::vector<std::string>& options) : strings(options) {
    strings.insert(strings.begin(), program);
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    count = static_cast<int>(strings.size());
  }
  std::vector<std::string> strings;
  std::vector<char*> pointers;
  int count = 0;
};

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

// --help and --version need no display, so they are answered before Qt
// starts. True when one was.
bool answeredHelpOrVersion(int argc, char** argv) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(orvalis::windowUsage(), stdout);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orvalis %s\nLicence: MIT. Copyright (c) 2026 the Orvalis developers.\n", ORVALIS_VERSION);
      return true;
    }
  }
  return false;
}

// What the working folder, once entered, makes of the program.
struct FolderSetup {
  std::string realHere;      // the folder's real path
  bool confined = false;     // not trusted: saves stay inside
  std::string scriptFolder;  // where the exit scripts come from
};

// The working folder's res and the defaults it may borrow, and whether the
// folder is trusted. An exit code when the program can't go on.
std::optional<int> settleFolder(const orvalis::WindowArguments& arguments, const Settings& settings,
                                FolderSetup& setup) {
  // A res that is there but no folder would only give a shell's word about a
  // missing script later.
  const std::string resTrouble = orvalis::resProblem();
  if (!resTrouble.empty()) {
    orvalis::ProcessExitPath(std::string(), arguments.fromDesktop)
        .report(resTrouble + " in " + currentFolder() + "; the program ends");
    return 1;
  }
  const std::string here = currentFolder();
  const std::string defaults = defaultResources();
  std::string message;
  if (orvalis::provideDefaultResources(here, defaults, message)) {
    std::fprintf(stderr, "orvalis: %s\n", message.c_str());
  }
  setup.realHere = orvalis::realPathOf(".");
  const bool trusted = arguments.fromDesktop && settings.file != nullptr &&
                       holds(trustedFolders(*settings.file), setup.realHere);
  setup.confined = arguments.fromDesktop && !trusted;
  if (setup.confined && setup.realHere.empty()) {
    std::fprintf(stderr, "orvalis: can't work in %s: its real path can't be found\n", here.c_str());
    return kUsageExit;
  }
  setup.scriptFolder = orvalis::exitScriptFolder(
      arguments.fromDesktop ? orvalis::FolderOrigin::Desktop : orvalis::FolderOrigin::Terminal, trusted,
      orvalis::userScriptFolder(), defaults);
  return std::nullopt;
}

// The camera is asked for the archive's picture size, read from the header
// of archive picture 0; without it the adapter takes its largest format.
// Only a regular file is read: a named pipe there would block the reader
// before start-up could refuse it.
QSize archivePictureSize() {
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
  return archiveSize;
}

// SIGTERM closes the window through the pipe its notifier reads.
std::unique_ptr<QSocketNotifier> closeOnTerminate(orvalis::COrvalisDlg& window) {
  int terminatePipe[2];
  if (::pipe2(terminatePipe, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
  terminateWriteEnd = terminatePipe[1];
  auto notifier = std::make_unique<QSocketNotifier>(terminatePipe[0], QSocketNotifier::Read);
  const int readEnd = terminatePipe[0];
  QObject::connect(notifier.get(), &QSocketNotifier::activated, &window, [&window, readEnd] {
    char bytes[16];
    while (::read(readEnd, bytes, sizeof bytes) > 0) {
    }
    window.close();
  });
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  return notifier;
}

}  // namespace

int main(int argc, char** argv) {
  if (answeredHelpOrVersion(argc, argv)) return 0;

  // Every usage error, --trust and a folder that can't be worked in are
  // answered before Qt starts, so they need no display either.
  const orvalis::ParsedWindowArguments parsed =
      orvalis::parseWindowArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "orvalis: %s (see --help)\n", parsed.error.c_str());
    return kUsageExit;
  }
  const orvalis::WindowArguments& arguments = parsed.arguments;
  if (!arguments.trustFolder.empty()) return trust(arguments.trustFolder);
  if (!arguments.folder.empty() && !enter(arguments.folder)) return kUsageExit;
  if (!arguments.fromDesktop) {
    const std::string problem = orvalis::notAWorkingFolder(currentFolder());
    if (!problem.empty()) {
      std::fprintf(stderr, "orvalis: %s\n", problem.c_str());
      return kUsageExit;
    }
  }

  QtArguments qtArguments(argv[0], arguments.qtOptions);
  QApplication app(qtArguments.count, qtArguments.pointers.data());
  app.setApplicationName(QStringLiteral("Orvalis"));
  app.setApplicationVersion(QStringLiteral(ORVALIS_VERSION));
  app.setWindowIcon(orvalis::appIcon());

  Settings settings;
  if (arguments.fromDesktop) {
    settings = openSettings();
    if (settings.file == nullptr) {
      std::fprintf(stderr, "orvalis: going on without the remembered folder and trusted folders: %s\n",
                   settings.problem.c_str());
    }
    if (!chooseDesktopFolder(!arguments.folder.empty(), settings)) return 0;  // the user chose nothing
  }
  FolderSetup folder;
  if (const std::optional<int> code = settleFolder(arguments, settings, folder)) return *code;

  auto workspace = std::make_unique<orvalis::Workspace>();
  workspace->profile = arguments.profile;
  orvalis::ProcessExitPath exitPath(folder.scriptFolder, arguments.fromDesktop);
  // The camera is opened only if start-up chooses camera mode.
  const QSize archiveSize = archivePictureSize();
  orvalis::QtCameraSource camera(
      archiveSize.isValid() ? static_cast<std::uint32_t>(archiveSize.width()) : 0,
      archiveSize.isValid() ? static_cast<std::uint32_t>(archiveSize.height()) : 0);

  orvalis::COrvalisDlg window(*workspace, camera, exitPath);
  // Queued: a close asked for during start-up finishes the dialog before the
  // event loop runs, and a quit before the loop would be lost.
  QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  const std::unique_ptr<QSocketNotifier> terminateNotifier = closeOnTerminate(window);
  // --log: a line on standard error for every archive picture searched, in
  // the words of orvalis-search --human, for whoever watches from outside.
  if (arguments.log) window.searchControl().setTickLog(stderr);
  // A folder that is not trusted is written only inside: a parameters file
  // that is a link out of it is never replaced.
  if (folder.confined) window.searchControl().confineSavesTo(folder.realHere);
  window.initDialog(orvalis::COrvalisDlg::StartShow::Minimized);
  return app.exec();
}
