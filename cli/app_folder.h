#pragma once

#include <filesystem>
#include <string_view>

#include "cli/command.h"
#include "session/app_location.h"

namespace verbalon::cli {

// The help text of the option "--app=" of the commands that work on an application folder.
inline constexpr std::string_view kAppFolderHelp =
    "--app FOLDER  the application folder, holding \"vrbx.pde\" and \"data/\"; by default the\n"
    "              folder of vrbx-tool itself.";

// The application folder (the folder of "vrbx.pde" and "data/"): --app, or the one the program
// would use (the tool's own folder when it is a portable one, the user's data folder otherwise).
std::filesystem::path appFolder(const Arguments& arguments);

// The same with the read-only folders of the packages installed with the program (none for a
// folder given with --app).
session::AppLocation appLocation(const Arguments& arguments);

}  // namespace verbalon::cli
