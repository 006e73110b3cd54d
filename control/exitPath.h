#pragma once

#include <cstdlib>
#include <string>
#include <utility>

namespace orvalis {

// The five scripts the program starts from res/. Every one but ScannerMode is
// followed by the end of the process with exit code 1.
enum class ExitScript {
  MissingResources,
  CurrentDatabaseMismatch,
  ScannerMode,
  ScannerDatabaseMismatch,
  DeviceLost,
};

// "res/<Name>.sh", relative to the working directory.
const char* exitScriptPath(ExitScript script);

// "<Name>.sh": the script's file name in whatever folder holds the scripts.
const char* exitScriptName(ExitScript script);

// Starts the script through /bin/sh as a detached process in a new session and
// returns at once. The script is never waited for and its outcome never
// checked; a missing script or shell disturbs nothing. An intermediate shell
// puts the script in the background and exits at once, and only that
// intermediate is reaped, so a notice script finished while the program runs
// on leaves no zombie behind.
void runExitScript(const char* relativePath);

// What the search control needs of the process: start a script, end the
// process. The real one is ProcessExitPath; tests substitute their own.
class ExitPath {
 public:
  virtual ~ExitPath() = default;
  virtual void runScript(ExitScript script) = 0;
  [[noreturn]] virtual void exitProcess(int code) = 0;

  // Ends the process at once, from any thread, running nothing: for a
  // watchdog while another thread is stuck inside the media framework, where
  // destructors and exit handlers could block on it or free what it uses.
  [[noreturn]] virtual void exitNow(int code) { std::_Exit(code); }

  // The fatal path: the script, then exit code 1.
  [[noreturn]] void fail(ExitScript script) {
    runScript(script);
    exitProcess(1);
    std::abort();  // an exitProcess that returns is a broken substitute
  }
};

class ProcessExitPath final : public ExitPath {
 public:
  // Scripts come from scriptFolder: "res" (relative to the working directory)
  // unless the start-up chose another folder, such as the installed defaults.
  explicit ProcessExitPath(std::string scriptFolder = "res") : scriptFolder_(std::move(scriptFolder)) {}
  const std::string& scriptFolder() const { return scriptFolder_; }
  void runScript(ExitScript script) override;
  // std::exit: static destructors and exit handlers run.
  [[noreturn]] void exitProcess(int code) override;

 private:
  std::string scriptFolder_;
};

}  // namespace orvalis
