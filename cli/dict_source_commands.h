#pragma once

#include <vector>

#include "cli/command.h"

namespace verbalon::cli {

// pack-dict: making a dictionary package from a readable source file.
std::vector<Command> dictSourceCommands();

}  // namespace verbalon::cli
