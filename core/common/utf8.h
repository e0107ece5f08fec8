#pragma once

#include <string>
#include <string_view>

// UTF-8 output: file names, messages and terminal lines are UTF-8 on the systems we run on.
namespace verbalon {

// Appends the UTF-8 form of the code point c. Requires: c <= 0x10FFFF.
void appendUtf8(std::string& out, char32_t c);

// UTF-16 to UTF-8. A surrogate pair is one character; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace verbalon
