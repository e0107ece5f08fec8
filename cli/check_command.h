#pragma once

#include <vector>

#include "cli/command.h"

namespace verbalon::cli {

// check: whether an application folder's index, dictionary list and history would load and
// keep their invariants, with the commands that mend what is wrong.
std::vector<Command> checkCommands();

}  // namespace verbalon::cli
