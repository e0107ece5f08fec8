#pragma once

#include <span>
#include <string>

#include "cli/command.h"

namespace verbalon::cli {

// Runs vrbx-tool on its arguments (without the program name) and returns the exit status:
// finds the command, answers "--help", checks the command line and reports errors on
// console.err. A new command group is one more line in the dispatcher's list of groups.
int runTool(std::span<const std::string> args, Console& console);

}  // namespace verbalon::cli
