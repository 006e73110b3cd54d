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

// The notice the default script for this exit gives, without its date.
const char* exitScriptNotice(ExitScript script);

// Starts the script through /bin/sh as a detached process in a new session and
// returns at once. The shell gets the environment with a PATH that holds only
// absolute folders (empty and relative entries would name the untrusted
// working folder, the script's current directory). The script is never waited for and its outcome never
// checked; a missing script or shell disturbs nothing. An intermediate shell
// puts the script in the background and exits at once, and only that
// intermediate is reaped, so a notice script finished while the program runs
// on leaves no zombie behind.
void runExitScript(const char* relativePath);

// The environment's PATH without empty or relative entries, or
// "/usr/local/bin:/usr/bin:/bin" when none is left.
std::string absoluteSearchPath(const char* path);

// What the search control needs of the process: start a script, say why it
// ends, end the process. The real one is ProcessExitPath; tests substitute
// their own.
class ExitPath {
 public:
  virtual ~ExitPath() = default;
  virtual void runScript(ExitScript script) = 0;
  // One line for the user on why the program can't go on: on standard error
  // ("orvalis: " before it), and wherever else the user would see it.
  virtual void report(const std::string& message);
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
  // unless the start-up chose another folder, such as the installed defaults;
  // empty when there is none, and then no script runs: its notice is
  // reported instead. A program started from the desktop has no terminal to
  // read: its reports are shown as desktop notifications too.
  explicit ProcessExitPath(std::string scriptFolder = "res", bool fromDesktop = false)
      : scriptFolder_(std::move(scriptFolder)), fromDesktop_(fromDesktop) {}
  const std::string& scriptFolder() const { return scriptFolder_; }
  void runScript(ExitScript script) override;
  void report(const std::string& message) override;
  // std::exit: static destructors and exit handlers run.
  [[noreturn]] void exitProcess(int code) override;

 private:
  std::string scriptFolder_;
  bool fromDesktop_;
};

}  // namespace orvalis
