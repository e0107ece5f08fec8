#pragma once

#include <vector>

#include "cli/command.h"

namespace verbalon::cli {

// list, install, remove, words and show: installing and removing dictionaries of an application
// folder (the folder of "vrbx.pde" and "data/"), through the calls the installation dialog uses,
// and the article page of a word as the program builds it.
std::vector<Command> dictCommands();

}  // namespace verbalon::cli
