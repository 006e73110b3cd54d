#include "tests/support/childProcess.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/testSupport.h"

namespace orvalis::testing {

namespace fs = std::filesystem;

ChildResult runInChild(const fs::path& workingFolder, const std::function<void()>& body,
                       std::chrono::milliseconds timeout) {
  ChildResult result;
  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) {
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(97);
    body();
    std::exit(0);
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      result.timedOut = true;
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exitCode = WEXITSTATUS(status);
  }
  return result;
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
  for (const char* name : {"Missing_Resources", "Current_Database_Mismatch", "Scanner_Mode",
                           "Scanner_Database_Mismatch", "Device_Lost"}) {
    writeTextFile(workingFolder / "res" / (std::string(name) + ".sh"),
                  std::string("echo ") + name + " >> res/markers.txt\n: > res/" + name + ".ran\n", true);
  }
}

std::string scriptsThatRan(const fs::path& workingFolder) {
  std::ifstream in(workingFolder / "res" / "markers.txt");
  std::stringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  while (!s.empty() && s.back() == '\n') s.pop_back();
  for (char& c : s) {
    if (c == '\n') c = ' ';
  }
  return s;
}

}  // namespace orvalis::testing
