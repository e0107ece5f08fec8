#pragma once

#include <vector>

#include "cli/command.h"

namespace verbalon::cli {

// suggest: what the filter tab would offer for a word that the prefix filter does not find.
std::vector<Command> suggestCommands();

}  // namespace verbalon::cli
