#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// The title a dictionary source gives itself, found without reading the source: a list of the
// importable files of a folder shows it before anyone decides to import one.
namespace verbalon::import {

// How much of a file peekTitle reads (of the inflated text, for a compressed DSL source).
inline constexpr size_t kTitlePeekBytes = 4096;
// A longer title is cut: it has to fit one line of a list.
inline constexpr size_t kMaxPeekedTitleBytes = 200;

// The title at the head of source, UTF-8, trimmed, at most kMaxPeekedTitleBytes long: the
// "#NAME" of a DSL source (".dsl", ".dsl.dz"; UTF-16 with or without a byte-order mark, UTF-8 or
// Windows-1251), the "bookname" of a StarDict ".ifo", the "#title=" first line of tab-separated
// text. Empty when the head names none, for a dictd database (whose title lies inside its
// articles), and for a file that cannot be read: this never reports an error, the caller then
// shows the file's name.
std::string peekTitle(const std::filesystem::path& source);

}  // namespace verbalon::import
