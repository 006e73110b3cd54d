#pragma once

// Runs a piece of the program in a real child process, in a given working
// folder, and reports how it ended: the way exits are tested, since an exit
// path ends the process it runs in.

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

// Forks, changes to workingFolder in the child, runs body, and exits 0 if body
// returns. The parent waits at most timeout, then kills the child.
ChildResult runInChild(const std::filesystem::path& workingFolder, const std::function<void()>& body,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30));

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
