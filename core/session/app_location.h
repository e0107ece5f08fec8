#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/error.h"

// Where one run keeps its data: the application folder (`AppDir`, which holds "vrbx.pde" with
// the user's index and history) and its data folder (`DataDir`, "data/" there).
//
// A program folder with a writable "vrbx.pde" beside the executable is a portable installation
// and is used as it is (a build folder is one). Otherwise, as for a system-wide installation,
// the application folder is the user's own $XDG_DATA_HOME/verbalon/ (~/.local/share/verbalon/),
// made at the first start with a copy of the installed pristine package; the installed one is
// never changed. The dictionaries installed with the program (share/verbalon/data/ of the
// installation and of $XDG_DATA_DIRS) are offered besides the user's own data folder.
namespace verbalon::session {

class ELocationError : public Error {
 public:
  using Error::Error;
};

struct AppLocation {
  std::filesystem::path appDir;
  std::filesystem::path dataDir;
  // Read-only folders of packages installed with the program, in the order they are searched.
  std::vector<std::filesystem::path> sharedDataDirs;
  bool portable = false;
};

// The environment the rule reads, passed in so tests can give their own.
struct Environment {
  std::string home;         // $HOME
  std::string xdgDataHome;  // $XDG_DATA_HOME, empty when unset
  std::string xdgDataDirs;  // $XDG_DATA_DIRS, empty when unset
  static Environment current();
};

// The location for a program whose executable lies in programDir; creates the user's folder
// and copies the pristine package into it when needed. Raises ELocationError when neither a
// writable package beside the program nor an installed pristine one exists, or when the user's
// folder cannot be made.
AppLocation locateAppFolder(const std::filesystem::path& programDir,
                            const Environment& environment = Environment::current());

// The folder of the running executable.
std::filesystem::path programDirectory();

}  // namespace verbalon::session
