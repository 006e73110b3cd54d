#pragma once

// Start-up of the window program before the window exists: its arguments,
// the working folder, the default resources a new folder gets, and whose exit
// scripts may run. No Qt here: the settings and the folder dialog stay in
// main.cpp, the decisions are made and tested here.

#include <string>
#include <vector>

namespace orvalis {

struct WindowArguments {
  std::string folder;        // empty: the current directory (from the desktop: ask)
  bool fromDesktop = false;  // started by the desktop entry, from the menu or a file manager
  std::string trustFolder;   // --trust FOLDER: mark it trusted and exit
  bool log = false;          // --log: a line on standard error for every picture searched
  bool help = false;
  bool version = false;
};

struct ParsedWindowArguments {
  bool ok = false;
  WindowArguments arguments;
  std::string error;  // one line naming the argument
};

// The arguments after the program name, once Qt has taken its own.
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

// The first candidate folder that holds the default backdrop, else "".
std::string findDefaultResources(const std::vector<std::string>& candidates);

// A working folder without res/ gets res/ with copies of the default exit
// scripts and backdrop from defaults; one that has res/ is left alone, and
// the parameters file is never made. Returns whether anything was said in
// message: what was copied, or why nothing could be.
bool provideDefaultResources(const std::string& workingFolder, const std::string& defaults,
                             std::string& message);

}  // namespace orvalis
