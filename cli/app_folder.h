#pragma once

#include <filesystem>

#include "cli/command.h"

namespace verbalon::cli {

// The application folder (the folder of "vrbx.pde" and "data/"): --app, or the folder this
// tool lies in, where the program lies too.
std::filesystem::path appFolder(const Arguments& arguments);

}  // namespace verbalon::cli
