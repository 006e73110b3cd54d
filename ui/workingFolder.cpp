#include "ui/workingFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "control/exitPath.h"
#include "control/profileOptions.h"
#include "files/paths.h"

namespace orvalis {

namespace fs = std::filesystem;

namespace {

constexpr char kBackdropName[] = "Dark_Gray_Square.jpg";

}  // namespace

namespace {

// Qt's options as QGuiApplication and QApplication take them, with one dash
// or two: those that take the next argument as their value, and flags.
constexpr std::string_view kQtValueOptions[] = {
    "platform",
    "platformpluginpath",
    "platformtheme",
    "plugin",
    "qwindowgeometry",
    "geometry",
    "qwindowicon",
    "icon",
    "qwindowtitle",
    "title",
    "session",
    "display",
    "name",
    "style",
    "stylesheet",
};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
// Those that take their value after "=" too.
constexpr std::string_view kQtInlineOptions[] = {"style", "stylesheet", "qmljsdebugger"};

template <std::size_t N>
bool among(const std::string_view (&names)[N], std::string_view name) {
  for (const std::string_view candidate : names) {
    if (candidate == name) return true;
  }
  return false;
}

}  // namespace

ParsedWindowArguments parseWindowArguments(const std::vector<std::string>& arguments) {
  ParsedWindowArguments parsed;
  WindowArguments& a = parsed.arguments;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      // Qt's options, one dash or two.
      std::string_view bare(argument);
      bare.remove_prefix(bare.size() > 2 && bare[1] == '-' ? 2 : 1);
      const std::size_t equals = bare.find('=');
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
      } else if (const ProfileOption* option = findProfileOption(argument.substr(0, argument.find('=')))) {
        // The search profile, strictly as orvalis-search takes it.
        const std::size_t at = argument.find('=');
        std::string value;
        if (!option->takesValue && at != std::string::npos) {
          parsed.error = std::string(option->name) + " takes no value";
          return parsed;
        }
        if (option->takesValue && at == std::string::npos) {
          if (i + 1 == arguments.size()) {
            parsed.error = std::string(option->name) + " needs a value (" + option->meta + ")";
            return parsed;
          }
          value = arguments[++i];
        } else if (at != std::string::npos) {
          value = argument.substr(at + 1);
        }
        const std::string error = applyProfileOption(*option, value, a.profile);
        if (!error.empty()) {
          parsed.error = std::string(option->name) + ": " + error;
          return parsed;
        }
      } else if (argument == "--trust" || argument.rfind("--trust=", 0) == 0) {
        const bool inlineValue = argument.size() > 7;
        // A separate value that looks like an option is taken for a
        // forgotten folder, not for a folder named "--log".
        if (!inlineValue && (i + 1 == arguments.size() || arguments[i + 1].rfind('-', 0) == 0)) {
          parsed.error = "--trust needs a folder (one whose name starts with - goes as --trust=FOLDER)";
          return parsed;
        }
        a.trustFolder = inlineValue ? argument.substr(8) : arguments[++i];
        if (a.trustFolder.empty()) {
          parsed.error = "--trust needs a folder";
          return parsed;
        }
      } else if (among(kQtFlags, bare)) {
        a.qtOptions.push_back(argument);
      } else if (among(kQtValueOptions, bare)) {
        if (i + 1 == arguments.size()) {
          parsed.error = "the Qt option " + argument + " needs a value";
          return parsed;
        }
        a.qtOptions.push_back(argument);
        a.qtOptions.push_back(arguments[++i]);
      } else if (equals != std::string_view::npos && among(kQtInlineOptions, bare.substr(0, equals))) {
        a.qtOptions.push_back(argument);
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
  return R"(Usage: orvalis [options] [--] [FOLDER]

Opens the search window on a working folder, the folder that holds res/ and
Image_Archive/. "orvalis FOLDER" is the same as starting orvalis in FOLDER;
without FOLDER the current directory is the working folder. A folder without
Image_Archive/ is refused before anything is written into it.

A working folder without res/ gets the default exit scripts and backdrop
copied into a new res/ (said on standard error); the parameters file is made
by the first viewfinder or parameter command, never at start-up.

Options:
  --from-desktop   started from the desktop (the menu entry passes it): without
                   FOLDER, ask for one with the folder dialog, offering the one
                   chosen last; the folder's own exit scripts run only if it is
                   trusted, otherwise those in ~/.config/orvalis/res/ or the
                   installed defaults do, and nothing is written outside an
                   untrusted folder
  --trust FOLDER   mark FOLDER as trusted, so that its own res/*.sh run even
                   when it is opened from the desktop, then exit (a FOLDER
                   whose name starts with - goes as --trust=FOLDER)
  --log            one line on standard error for every archive picture
                   searched, in the words of orvalis-search --human: the file,
                   its size, the match (column, row, degrees) or "no match",
                   the times (with the options below, every copy with its
                   scale and score)
  --matches N      up to N copies a picture (1 to 16); the first is marked
  --max-score X    drop copies that score above X (lower is better)
  --angles MIN:MAX only turns from MIN to MAX degrees (350:10 wraps)
  --scales MIN:MAX copies of every size from MIN to MAX (0.5 to 2)
  --light          compensate brightness and contrast (gain 0.8 to 1.25,
                   offset -30 to +30): orvalis --scales 0.9:1.1 --light FOLDER
                   (--min-score is refused: lower scores are better)
  --version        the version and the licence, then exit
  -h, --help       this text
  --               the end of the options: what follows is the folder
Qt's own options (-platform NAME, -style NAME, -reverse, ...) go to Qt when
they come before --.

Exit status: 0 when the window is closed, 1 when the program ends through an
exit script or a failure it names on standard error (see man orvalis), 2 on
bad options or a folder it can't enter or that is no working folder.
)";
}

std::string exitScriptFolder(FolderOrigin origin, bool trusted, const std::string& userScripts,
                             const std::string& defaults) {
  if (origin == FolderOrigin::Terminal || trusted) return "res";
  return userScripts.empty() ? defaults : userScripts;
}

std::string userScriptFolder() {
  const std::string config = configFolder();
  if (config.empty()) return "";
  const fs::path folder = fs::path(config) / "res";
  std::error_code error;
  return fs::is_directory(folder, error) ? folder.string() : "";
}

std::string realPathOf(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) == nullptr ? std::string() : std::string(resolved);
}

namespace {

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a regular file";
}

// What lies at a name, links followed.
struct Found {
  bool present = false;  // anything, a dangling link too
  mode_t mode = 0;       // its kind, once the links are followed
  std::string trouble;   // "a dangling link", "a link that loops", "unreachable (why)"
};

Found lookAt(const char* name) {
  Found found;
  struct stat info {};
  found.present = ::lstat(name, &info) == 0;
  if (!found.present) {
    if (errno != ENOENT) found.trouble = std::string("unreachable (") + std::strerror(errno) + ")";
    return found;
  }
  const bool link = S_ISLNK(info.st_mode);
  if (::stat(name, &info) != 0) {
    found.trouble = link && errno == ENOENT  ? "a dangling link"
                    : link && errno == ELOOP ? "a link that loops"
                                             : std::string("unreachable (") + std::strerror(errno) + ")";
    return found;
  }
  found.mode = info.st_mode;
  return found;
}

}  // namespace

std::string notAWorkingFolder(const std::string& shownName) {
  const Found archive = lookAt(kArchiveFolder);
  if (archive.present && archive.trouble.empty() && S_ISDIR(archive.mode)) return "";
  const std::string why = !archive.present ? "it has no Image_Archive/ folder"
                          : !archive.trouble.empty()
                              ? "its Image_Archive is " + archive.trouble
                              : std::string("its Image_Archive is not a folder but ") + kindOf(archive.mode);
  return shownName + " is not a working folder: " + why +
         ". A working folder holds Image_Archive/ with the archive pictures Image_0000000000.jpg, "
         "Image_0000000001.jpg, ... (and optionally the still query Current_Image.jpg), and res/ with "
         "the exit scripts and the backdrop (made from the defaults when missing).";
}

std::string resProblem() {
  const Found res = lookAt("res");
  if (!res.trouble.empty()) return "res is " + res.trouble;
  if (!res.present || S_ISDIR(res.mode)) return "";
  return std::string("res is not a folder but ") + kindOf(res.mode);
}

std::string settingsFileProblem(const std::string& path) {
  const Found settings = lookAt(path.c_str());
  if (!settings.trouble.empty()) return path + " is " + settings.trouble;
  if (!settings.present || S_ISREG(settings.mode)) return "";
  return path + " is not a regular file but " + kindOf(settings.mode);
}

std::string configFolder() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (configHome != nullptr && *configHome == '/') return std::string(configHome) + "/orvalis";
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/orvalis";
  return "";
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
  // The default scripts hand their notice to this one.
  names.emplace_back("notice.sh");
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
