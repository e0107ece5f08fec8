#include "cli/app_folder.h"

#include "session/app_location.h"

namespace verbalon::cli {

namespace fs = std::filesystem;

fs::path appFolder(const Arguments& arguments) {
  if (std::optional<std::string> app = arguments.value("--app")) return fs::path(*app);
  return session::locateAppFolder(session::programDirectory()).appDir;
}

}  // namespace verbalon::cli
