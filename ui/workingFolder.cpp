#include "ui/workingFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "control/exitPath.h"

namespace orvalis {

namespace fs = std::filesystem;

namespace {

constexpr char kBackdropName[] = "Dark_Gray_Square.jpg";

}  // namespace

ParsedWindowArguments parseWindowArguments(const std::vector<std::string>& arguments) {
  ParsedWindowArguments parsed;
  WindowArguments& a = parsed.arguments;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      if (argument == "--") {
        optionsEnded = true;
      } else if (argument == "--help" || argument == "-h") {
        a.help = true;
      } else if (argument == "--version") {
        a.version = true;
      } else if (argument == "--from-desktop") {
        a.fromDesktop = true;
      } else if (argument == "--log") {
        a.log = true;
      } else if (argument == "--trust" || argument.rfind("--trust=", 0) == 0) {
        const bool inlineValue = argument.size() > 7;
        if (!inlineValue && i + 1 == arguments.size()) {
          parsed.error = "--trust needs a folder";
          return parsed;
        }
        a.trustFolder = inlineValue ? argument.substr(8) : arguments[++i];
        if (a.trustFolder.empty()) {
          parsed.error = "--trust needs a folder";
          return parsed;
        }
      } else {
        parsed.error = "unknown option " + argument;
        return parsed;
      }
    } else if (a.folder.empty() && !argument.empty()) {
      a.folder = argument;
    } else {
      parsed.error = "unexpected argument '" + argument + "' (one folder at most)";
      return parsed;
    }
  }
  parsed.ok = true;
  return parsed;
}

const char* windowUsage() {
  return R"(Usage: orvalis [options] [FOLDER]

Opens the search window on a working folder, the folder that holds res/ and
Image_Archive/. "orvalis FOLDER" is the same as starting orvalis in FOLDER;
without FOLDER the current directory is the working folder.

A working folder without res/ gets the default exit scripts and backdrop
copied into a new res/ (said on standard error); the parameters file is made
by the first viewfinder or parameter command, never at start-up.

Options:
  --from-desktop   started from the desktop (the menu entry passes it): without
                   FOLDER, ask for one with the folder dialog, offering the one
                   chosen last; the folder's own exit scripts run only if it is
                   trusted, otherwise those in ~/.config/orvalis/res/ or the
                   installed defaults do
  --trust FOLDER   mark FOLDER as trusted, so that its own res/*.sh run even
                   when it is opened from the desktop, then exit
  --log            one line on standard error for every archive picture
                   searched, in the words of orvalis-search --human: the file,
                   its size, the match (column, row, degrees) or "no match",
                   the times
  --version        the version, then exit
  -h, --help       this text

Exit status: 0 when the window is closed, 1 when the program ends through an
exit script (see man orvalis), 2 on bad options or a folder it can't enter.
)";
}

std::string exitScriptFolder(FolderOrigin origin, bool trusted, const std::string& userScripts,
                             const std::string& defaults) {
  if (origin == FolderOrigin::Terminal || trusted) return "res";
  return userScripts.empty() ? defaults : userScripts;
}

std::string userScriptFolder() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  fs::path folder;
  if (configHome != nullptr && *configHome == '/') {
    folder = fs::path(configHome) / "orvalis/res";
  } else if (home != nullptr && *home != '\0') {
    folder = fs::path(home) / ".config/orvalis/res";
  } else {
    return "";
  }
  std::error_code error;
  return fs::is_directory(folder, error) ? folder.string() : "";
}

std::string findDefaultResources(const std::vector<std::string>& candidates) {
  for (const std::string& candidate : candidates) {
    std::error_code error;
    if (!candidate.empty() && fs::is_regular_file(fs::path(candidate) / kBackdropName, error)) {
      return fs::absolute(candidate, error).lexically_normal().string();
    }
  }
  return "";
}

bool provideDefaultResources(const std::string& workingFolder, const std::string& defaults,
                             std::string& message) {
  const fs::path res = fs::path(workingFolder) / "res";
  std::error_code error;
  if (fs::exists(fs::symlink_status(res, error))) return false;
  if (defaults.empty()) {
    message = workingFolder + " has no res/ and no default resources were found";
    return true;
  }
  if (!fs::create_directory(res, error)) {
    message = workingFolder + " has no res/ and it can't be made: " + error.message();
    return true;
  }
  const fs::path from(defaults);
  std::vector<std::string> names;
  for (int script = 0; script <= static_cast<int>(ExitScript::DeviceLost); ++script) {
    names.emplace_back(exitScriptName(static_cast<ExitScript>(script)));
  }
  names.emplace_back(kBackdropName);
  std::string copied;
  for (const std::string& name : names) {
    // Only plain files: a FIFO or a folder in a script's place is skipped.
    if (!fs::is_regular_file(from / name, error)) continue;
    if (!fs::copy_file(from / name, res / name, error)) {
      message = "copying " + (from / name).string() + " into " + res.string() + " failed: " + error.message();
      return true;
    }
    copied += (copied.empty() ? "" : ", ") + name;
  }
  message =
      workingFolder + " had no res/: copied " + (copied.empty() ? "nothing" : copied) + " from " + defaults;
  return true;
}

}  // namespace orvalis
