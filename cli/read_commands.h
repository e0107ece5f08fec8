#pragma once

#include <vector>

#include "cli/command.h"

namespace verbalon::cli {

// ls, cat and verify: looking into a package (or, with --raw, any compound file) without
// changing it. The file is opened read-only.
std::vector<Command> readCommands();

}  // namespace verbalon::cli
