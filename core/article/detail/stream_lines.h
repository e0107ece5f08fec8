#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// A line of an item stream picked without splitting it: a stream of a few hundred kilobytes can
// hold hundreds of millions of lines, and a list of them would take gigabytes. Lines end at
// CR LF, a lone CR or a lone LF; a line break at the very end adds no empty line.
namespace verbalon::article::detail {

// Line n of text, or nullopt when text has fewer lines.
std::optional<std::string_view> nthLine(std::string_view text, size_t n);

}  // namespace verbalon::article::detail
