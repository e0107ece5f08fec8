#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Whole files of the local file system, for the tool's import and export. Failures raise
// EToolError naming the file.
namespace verbalon::cli {

std::string readLocalFile(const std::filesystem::path& path);

// Creates path and writes bytes into it; a file that already exists is an error, never
// overwritten.
void writeNewLocalFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace verbalon::cli
