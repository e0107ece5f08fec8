#include "session/app_location.h"

#include <cstdlib>
#include <system_error>

#include <unistd.h>

namespace verbalon::session {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPackageName = "vrbx.pde";
constexpr const char* kDataName = "data";
constexpr const char* kShareName = "verbalon";

bool writableFile(const fs::path& file) {
  std::error_code ec;
  return fs::is_regular_file(file, ec) && access(file.c_str(), R_OK | W_OK) == 0;
}

std::vector<fs::path> splitDirs(const std::string& list) {
  std::vector<fs::path> dirs;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    // Relative entries are ignored, as the base directory rules say.
    if (end > start && list[start] == '/') dirs.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return dirs;
}

// The installation's own share/verbalon first, then those of $XDG_DATA_DIRS.
std::vector<fs::path> installedShares(const fs::path& programDir, const Environment& env) {
  std::vector<fs::path> shares{programDir.parent_path() / "share" / kShareName};
  const std::string dataDirs =
      env.xdgDataDirs.empty() ? std::string("/usr/local/share:/usr/share") : env.xdgDataDirs;
  for (const fs::path& dir : splitDirs(dataDirs)) {
    const fs::path share = dir / kShareName;
    std::error_code ec;
    bool seen = false;
    for (const fs::path& known : shares) {
      seen = seen || fs::equivalent(known, share, ec);
    }
    if (!seen) shares.push_back(share);
  }
  return shares;
}

}  // namespace

Environment Environment::current() {
  const auto get = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  };
  return {get("HOME"), get("XDG_DATA_HOME"), get("XDG_DATA_DIRS")};
}

AppLocation locateAppFolder(const fs::path& programDir, const Environment& env) {
  AppLocation location;
  if (writableFile(programDir / kPackageName)) {
    location.appDir = programDir;
    location.dataDir = programDir / kDataName;
    location.portable = true;
    return location;
  }

  fs::path base;
  if (!env.xdgDataHome.empty() && env.xdgDataHome.front() == '/') {
    base = env.xdgDataHome;
  } else if (!env.home.empty()) {
    base = fs::path(env.home) / ".local" / "share";
  } else {
    throw ELocationError("neither $XDG_DATA_HOME nor $HOME is set: no folder for the user's data");
  }
  location.appDir = base / kShareName;
  location.dataDir = location.appDir / kDataName;

  const std::vector<fs::path> shares = installedShares(programDir, env);
  for (const fs::path& share : shares) {
    std::error_code ec;
    if (fs::is_directory(share / kDataName, ec)) {
      location.sharedDataDirs.push_back(share / kDataName);
    }
  }

  std::error_code ec;
  fs::create_directories(location.dataDir, ec);
  if (ec) {
    throw ELocationError(location.dataDir.string() + ": cannot create the folder (" + ec.message() +
                         ")");
  }
  const fs::path package = location.appDir / kPackageName;
  if (!fs::exists(package, ec)) {
    const fs::path* pristine = nullptr;
    for (const fs::path& share : shares) {
      if (fs::is_regular_file(share / kPackageName, ec)) {
        pristine = &share;
        break;
      }
    }
    if (pristine == nullptr) {
      throw ELocationError(std::string("no ") + kPackageName + " beside the program (" +
                           programDir.string() + ") nor an installed one in " +
                           shares.front().string());
    }
    // Copied under another name and renamed, so a start that is cut short leaves no half
    // package behind for the next one to take.
    const fs::path partial = location.appDir / (std::string(kPackageName) + ".new");
    fs::copy_file(*pristine / kPackageName, partial, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::permissions(partial, fs::perms::owner_read | fs::perms::owner_write, ec);
    if (!ec) fs::rename(partial, package, ec);
    if (ec) {
      fs::remove(partial, ec);
      throw ELocationError(package.string() + ": cannot copy the installed package there");
    }
  }
  return location;
}

fs::path programDirectory() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw ELocationError("cannot find the program's own folder");
  return self.parent_path();
}

}  // namespace verbalon::session
