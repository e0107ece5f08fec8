#include "cli/app_folder.h"

#include <system_error>

namespace verbalon::cli {

namespace fs = std::filesystem;

fs::path appFolder(const Arguments& arguments) {
  if (std::optional<std::string> app = arguments.value("--app")) return fs::path(*app);
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw EToolError("cannot find the tool's own folder; give it with --app");
  return self.parent_path();
}

}  // namespace verbalon::cli
