#pragma once

#include <filesystem>

#include "cli/command.h"
#include "session/app_location.h"

namespace verbalon::cli {

// The application folder (the folder of "vrbx.pde" and "data/"): --app, or the one the program
// would use (the tool's own folder when it is a portable one, the user's data folder otherwise).
std::filesystem::path appFolder(const Arguments& arguments);

// The same with the read-only folders of the packages installed with the program (none for a
// folder given with --app).
session::AppLocation appLocation(const Arguments& arguments);

}  // namespace verbalon::cli
