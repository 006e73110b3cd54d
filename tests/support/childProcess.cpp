#include "tests/support/childProcess.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "tests/support/workingFolder.h"

namespace orvalis::testing {

namespace fs = std::filesystem;

Child::Child(const fs::path& workingFolder, const std::function<void()>& body) : pid_(::fork()) {
  if (pid_ != 0) return;
  if (::chdir(workingFolder.c_str()) != 0) ::_exit(97);
  body();
  std::exit(0);
}

Child::~Child() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

ChildResult Child::wait(std::chrono::milliseconds timeout) {
  ChildResult result;
  if (pid_ <= 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) != pid_) {
    if (std::chrono::steady_clock::now() > deadline) {
      result.timedOut = true;
      return result;  // the destructor kills it
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  result.exited = WIFEXITED(status);
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

void installMarkerScripts(const fs::path& workingFolder) {
  WorkingFolder(workingFolder).markerScripts();
}

}  // namespace orvalis::testing
