#include "tests/support/childProcess.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace orvalis::testing {

namespace fs = std::filesystem;

ChildResult runInChild(const fs::path& workingFolder, const std::function<void()>& body,
                       std::chrono::milliseconds timeout) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(97);
    body();
    std::exit(0);
  }
  ChildResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (pid > 0 && ::waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.exited = pid > 0 && WIFEXITED(status);
  if (result.exited) result.exitCode = WEXITSTATUS(status);
  return result;
}

void execShell(const std::string& command) {
  ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
  ::_exit(99);
}

bool dropRootPrivileges() {
  if (::geteuid() != 0) return true;
  constexpr uid_t kNobody = 65534;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

bool waitForFile(const fs::path& file, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace orvalis::testing
