#pragma once

#include <vector>

#include "cli/command.h"

namespace verbalon::cli {

// list, install, remove and words: installing and removing dictionaries of an application
// folder (the folder of "vrbx.pde" and "data/"), through the calls the installation dialog uses.
std::vector<Command> dictCommands();

}  // namespace verbalon::cli
