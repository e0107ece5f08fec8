#pragma once

// The import harnesses' inputs hold the several files of one source in a row, each file after
// the first opened by a line "@@@@" of its own: "index\n@@@@\narticles". A file the input does
// not reach is empty.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace verbalon::fuzz {

inline std::vector<std::string_view> splitSourceFiles(const uint8_t* data, size_t size,
                                                      size_t count) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> files;
  while (files.size() + 1 < count) {
    const size_t mark = rest.find("\n@@@@\n");
    if (mark == std::string_view::npos) break;
    files.push_back(rest.substr(0, mark));
    rest.remove_prefix(mark + 6);
  }
  files.push_back(rest);
  files.resize(count);
  return files;
}

}  // namespace verbalon::fuzz
