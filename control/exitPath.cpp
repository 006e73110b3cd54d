#include "control/exitPath.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

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

void runExitScript(const char* relativePath) {
  // The intermediate shell starts the script in the background and exits, so
  // the script is re-parented and outlives us; its stdin is detached so that a
  // script cannot hang on the terminal.
  static const char kLauncher[] = "/bin/sh \"$1\" </dev/null & exit 0";
  char shell[] = "/bin/sh";
  char dashC[] = "-c";
  char launcher[sizeof kLauncher];
  for (unsigned i = 0; i < sizeof kLauncher; ++i) launcher[i] = kLauncher[i];
  char name[] = "orvalis-exit-script";
  char* argv[] = {shell, dashC, launcher, name, const_cast<char*>(relativePath), nullptr};

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return;
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, shell, nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return;

  // Reap the intermediate shell, which exits as soon as it has started the
  // script in the background.
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

void ProcessExitPath::runScript(ExitScript script) {
  const std::string path = scriptFolder_ + "/" + exitScriptName(script);
  runExitScript(path.c_str());
}

void ProcessExitPath::exitProcess(int code) {
  std::exit(code);
}

}  // namespace orvalis
