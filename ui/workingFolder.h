#pragma once

// Start-up of the window program before the window exists: its arguments,
// the working folder, the default resources a new folder gets, and whose exit
// scripts may run. No Qt here: the settings and the folder dialog stay in
// main.cpp, the decisions are made and tested here.

#include <string>
#include <vector>

#include "state/searchProfile.h"

namespace orvalis {

struct WindowArguments {
  std::string folder;        // empty: the current directory (from the desktop: ask)
  bool fromDesktop = false;  // started by the desktop entry, from the menu or a file manager
  std::string trustFolder;   // --trust FOLDER: mark it trusted and exit
  bool log = false;          // --log: a line on standard error for every picture searched
  bool help = false;
  bool version = false;
  // Qt's own options (-platform NAME, -style=NAME, -reverse, ...) met before
  // "--", in order, for the application object; nothing else reaches Qt.
  std::vector<std::string> qtOptions;
  // --matches, --scales, --light, ...: as orvalis-search takes them.
  SearchProfile profile;
};

struct ParsedWindowArguments {
  bool ok = false;
  WindowArguments arguments;
  std::string error;  // one line naming the argument
};

// The arguments after the program name. Qt's options are set apart, so that
// everything is decided before Qt sees a single argument and before a display
// is needed; after "--" every argument is a folder name.
ParsedWindowArguments parseWindowArguments(const std::vector<std::string>& arguments);

// The text of --help.
const char* windowUsage();

// Where the working folder came from. Desktop: the desktop entry (a folder
// from the file manager) or the folder dialog; Terminal: the current
// directory or a folder named on a command line.
enum class FolderOrigin { Terminal, Desktop };

// The folder the exit scripts are run from. A start from a terminal, and a
// folder the user has marked trusted, keep the working folder's own "res".
// A folder opened from the desktop may have come from anywhere, so its
// scripts are not run: the user's own scripts (userScripts, when non-empty)
// or else the installed defaults stand in for them.
std::string exitScriptFolder(FolderOrigin origin, bool trusted, const std::string& userScripts,
                             const std::string& defaults);

// "$XDG_CONFIG_HOME/orvalis/res" (by default "$HOME/.config/orvalis/res")
// when that folder exists, else "".
std::string userScriptFolder();

// The real path of path, every link resolved, as the bytes the system holds
// (no conversion), or "" when it can't be had.
std::string realPathOf(const std::string& path);

// Why the current directory is not a working folder (no Image_Archive/
// folder in it), naming it as shownName and saying what a working folder
// holds; "" when it is one.
std::string notAWorkingFolder(const std::string& shownName);

// What is wrong with res in the current directory ("res is a dangling
// link", "res is not a folder but a named pipe", ...); "" when it is a
// folder or absent (then it is made).
std::string resProblem();

// Why the settings file at path must not be touched (something that is not a
// regular file, links followed, or a dangling link: reading a named pipe
// would hang, and the settings would replace a device); "" when it is a
// regular file or absent.
std::string settingsFileProblem(const std::string& path);

// "$XDG_CONFIG_HOME/orvalis" when XDG_CONFIG_HOME is absolute, else
// "$HOME/.config/orvalis"; "" when neither is set.
std::string configFolder();

// The first candidate folder that holds the default backdrop, else "".
std::string findDefaultResources(const std::vector<std::string>& candidates);

// A working folder without res/ gets res/ with copies of the default exit
// scripts and backdrop from defaults; one that has res/ is left alone, and
// the parameters file is never made. Returns whether anything was said in
// message: what was copied, or why nothing could be.
bool provideDefaultResources(const std::string& workingFolder, const std::string& defaults,
                             std::string& message);

}  // namespace orvalis
