#pragma once

#include <vector>

#include "cli/command.h"

namespace verbalon::cli {

// pack, unpack and put: moving files between a folder and a package. Streams written by these
// commands are compressed, as in every package; names are converted between UTF-8 (file names,
// the command line) and Windows-1251 (the package).
std::vector<Command> transferCommands();

}  // namespace verbalon::cli
