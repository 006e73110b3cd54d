#pragma once

// Runs a piece of the program in a real child process, in a given working
// folder: the way exits are tested, since an exit path ends its process.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace orvalis::testing {

struct ChildResult {
  bool exited = false;  // ended through exit(); false for a signal or a time-out
  int exitCode = -1;
};

// Forks, changes to workingFolder in the child, runs body and exits 0 if body
// returns; waits for its end. A child still running at the timeout is killed.
ChildResult runInChild(const std::filesystem::path& workingFolder, const std::function<void()>& body,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30));

// In a child: replaces it by /bin/sh -c command (exit 99 when it can't).
[[noreturn]] void execShell(const std::string& command);

// As root, becomes the user nobody so that file permissions apply; false when it can't.
bool dropRootPrivileges();

// Polls until the file exists or the time runs out: scripts run detached.
bool waitForFile(const std::filesystem::path& file,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace orvalis::testing
