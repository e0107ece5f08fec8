#include "cli/local_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command.h"

namespace verbalon::cli {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void fail(const std::filesystem::path& path, std::string_view action) {
  throw EToolError(path.string() + ": cannot " + std::string(action) + " (" + std::strerror(errno) +
                   ")");
}

}  // namespace

std::string readLocalFile(const std::filesystem::path& path) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) fail(path, "open the file");
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get())) fail(path, "read the file");
  return bytes;
}

void writeNewLocalFile(const std::filesystem::path& path, std::string_view bytes) {
  // "x": exclusive creation, so that two elements whose names come out alike cannot silently
  // overwrite one another.
  File file(std::fopen(path.c_str(), "wbx"));
  if (!file) fail(path, "create the file");
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    fail(path, "write the file");
  }
  if (std::fclose(file.release()) != 0) fail(path, "write the file");
}

}  // namespace verbalon::cli
