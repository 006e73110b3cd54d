#pragma once

// Runs a piece of the program in a real child process, in a given working
// folder: the way exits are tested, since an exit path ends its process.

#include <chrono>
#include <filesystem>
#include <functional>

namespace orvalis::testing {

// Forks, changes to workingFolder in the child, runs body and exits 0 if body
// returns; its exit code, or -1 for a signal or a time-out (when it is killed).
int runInChild(const std::filesystem::path& workingFolder, const std::function<void()>& body,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));

// As root, becomes the user nobody so that file permissions apply; false when it can't.
bool dropRootPrivileges();

}  // namespace orvalis::testing
