#pragma once

// Runs a piece of the program in a real child process, in a given working
// folder, and reports how it ended: the way exits are tested, since an exit
// path ends the process it runs in.

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

// A child process: forks, changes to workingFolder in the child, runs body,
// and exits 0 if body returns. One that is still running when the object
// goes is killed and reaped.
class Child {
 public:
  Child(const std::filesystem::path& workingFolder, const std::function<void()>& body);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Waits at most timeout, then kills the child.
  ChildResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  pid_t pid_ = -1;
};

// A child run to its end: Child(workingFolder, body).wait(timeout).
ChildResult runInChild(const std::filesystem::path& workingFolder, const std::function<void()>& body,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30));

// In a child: replaces it by /bin/sh -c command (exit 99 when it can't).
[[noreturn]] void execShell(const std::string& command);

// For a child run as root: becomes the user nobody, so that file permissions
// apply (root reads every file). Does nothing for other users. Returns false
// when it could not.
bool dropRootPrivileges();

// Polls until the file exists or the time runs out; scripts run detached, so
// their markers appear a moment after the program has exited.
bool waitForFile(const std::filesystem::path& file,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Installs res/<Name>.sh scripts for every exit script, each appending its
// name to res/markers.txt and creating res/<Name>.ran.
void installMarkerScripts(const std::filesystem::path& workingFolder);

// The names of the scripts that ran, in order of their markers.
std::string scriptsThatRan(const std::filesystem::path& workingFolder);

}  // namespace orvalis::testing
