#pragma once

// Runs a piece of the program in a real child process, in a given working
// folder: the way exits are tested, since an exit path ends its process.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace orvalis::testing {

struct ChildResult {
  bool exited = false;  // ended through exit(); false for a signal or a time-out
  int exitCode = -1;
  bool timedOut = false;
};

// Forks, changes to workingFolder in the child, runs body and exits 0 if body
// returns. A child still running when the object goes is killed and reaped.
class Child {
 public:
  Child(const std::filesystem::path& workingFolder, const std::function<void()>& body);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ChildResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  pid_t pid_ = -1;
};

// A child run to its end.
inline ChildResult runInChild(const std::filesystem::path& workingFolder, const std::function<void()>& body,
                              std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  return Child(workingFolder, body).wait(timeout);
}

// In a child: replaces it by /bin/sh -c command (exit 99 when it can't).
[[noreturn]] void execShell(const std::string& command);

// As root, becomes the user nobody so that file permissions apply; false when it can't.
bool dropRootPrivileges();

// Polls until the file exists or the time runs out: scripts run detached.
bool waitForFile(const std::filesystem::path& file,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The exit scripts of WorkingFolder::markerScripts.
void installMarkerScripts(const std::filesystem::path& workingFolder);

}  // namespace orvalis::testing
