#include "control/exitPath.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

extern char** environ;

namespace orvalis {

const char* exitScriptPath(ExitScript script) {
  switch (script) {
    case ExitScript::MissingResources: return "res/Missing_Resources.sh";
    case ExitScript::CurrentDatabaseMismatch: return "res/Current_Database_Mismatch.sh";
    case ExitScript::ScannerMode: return "res/Scanner_Mode.sh";
    case ExitScript::ScannerDatabaseMismatch: return "res/Scanner_Database_Mismatch.sh";
    case ExitScript::DeviceLost: return "res/Device_Lost.sh";
  }
  return "";
}

const char* exitScriptName(ExitScript script) {
  const char* path = exitScriptPath(script);
  return *path == '\0' ? path : path + 4;  // past "res/"
}

const char* exitScriptNotice(ExitScript script) {
  switch (script) {
    case ExitScript::MissingResources:
      return "Risorse mancanti: impossibile caricare res/Dark_Gray_Square.jpg o "
             "Image_Archive/Image_0000000000.jpg.";
    case ExitScript::CurrentDatabaseMismatch:
      return "L'immagine di riferimento e quelle dell'archivio hanno dimensioni diverse.";
    case ExitScript::ScannerMode:
      return "Image_Archive/Current_Image.jpg non disponibile: la ricerca usa la telecamera.";
    case ExitScript::ScannerDatabaseMismatch:
      return "Il fotogramma della telecamera e le immagini dell'archivio hanno dimensioni diverse.";
    case ExitScript::DeviceLost: return "Telecamera non disponibile o scollegata.";
  }
  return "";
}

std::string absoluteSearchPath(const char* path) {
  std::string kept;
  const std::string_view all = path == nullptr ? std::string_view() : std::string_view(path);
  std::size_t begin = 0;
  while (begin <= all.size()) {
    std::size_t end = all.find(':', begin);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view entry = all.substr(begin, end - begin);
    if (!entry.empty() && entry.front() == '/') {
      if (!kept.empty()) kept += ':';
      kept += entry;
    }
    begin = end + 1;
  }
  return kept.empty() ? "/usr/local/bin:/usr/bin:/bin" : kept;
}

namespace {

// Starts argv (an absolute program path first) detached, in a session of its
// own, with the environment's PATH made absolute, and returns at once. An
// intermediate shell starts it in the background and exits, so the program
// is re-parented and outlives us; only that intermediate is reaped, and the
// program's stdin is detached so that it cannot hang on the terminal.
void runDetached(std::vector<std::string> arguments, bool quiet) {
  std::string launcher = quiet ? "\"$@\" </dev/null >/dev/null 2>&1 & exit 0" : "\"$@\" </dev/null & exit 0";
  arguments.insert(arguments.begin(), {"/bin/sh", "-c", launcher, "orvalis-detached"});
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::string searchPath = "PATH=" + absoluteSearchPath(std::getenv("PATH"));
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "PATH=", 5) != 0) environment.push_back(*entry);
  }
  environment.push_back(searchPath.data());
  environment.push_back(nullptr);

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return;
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], nullptr, &attributes, argv.data(), environment.data());
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return;

  // Reap the intermediate shell, which exits as soon as it has started the
  // program in the background.
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

void runExitScript(const char* relativePath) {
  runDetached({"/bin/sh", relativePath}, false);
}

void ExitPath::report(const std::string& message) {
  std::fprintf(stderr, "orvalis: %s\n", message.c_str());
}

void ProcessExitPath::report(const std::string& message) {
  ExitPath::report(message);
  // Only the system's own notify-send, by its absolute path: nothing from
  // the working folder or the PATH runs in the program's name.
  static const char kNotifySend[] = "/usr/bin/notify-send";
  if (fromDesktop_ && ::access(kNotifySend, X_OK) == 0) {
    runDetached({kNotifySend, "--app-name=Orvalis", "--icon=orvalis", "--", "Orvalis", message}, true);
  }
}

void ProcessExitPath::runScript(ExitScript script) {
  if (scriptFolder_.empty()) {
    report(
        std::string(exitScriptName(script)) +
        " is not run: there is no folder of exit scripts (neither ~/.config/orvalis/res/ nor the installed "
        "defaults were found): " +
        exitScriptNotice(script));
    return;
  }
  const std::string path = scriptFolder_ + "/" + exitScriptName(script);
  runExitScript(path.c_str());
}

void ProcessExitPath::exitProcess(int code) {
  std::exit(code);
}

}  // namespace orvalis
