#include "tests/support/childProcess.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace orvalis::testing {

namespace fs = std::filesystem;

int runInChild(const fs::path& workingFolder, const std::function<void()>& body,
               std::chrono::milliseconds timeout) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(97);
    body();
    std::exit(0);
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (pid > 0 && ::waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool dropRootPrivileges() {
  if (::geteuid() != 0) return true;
  constexpr uid_t kNobody = 65534;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

}  // namespace orvalis::testing
