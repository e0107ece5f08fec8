#include "cli/app_folder.h"

#include "session/app_location.h"

namespace verbalon::cli {

namespace fs = std::filesystem;

fs::path appFolder(const Arguments& arguments) {
  return appLocation(arguments).appDir;
}

session::AppLocation appLocation(const Arguments& arguments) {
  if (std::optional<std::string> app = arguments.value("--app")) {
    session::AppLocation given;
    given.appDir = *app;
    given.dataDir = given.appDir / "data";
    return given;
  }
  return session::locateAppFolder(session::programDirectory());
}

}  // namespace verbalon::cli
