#pragma once

#include <string>
#include <string_view>

// Typed text comes in as Unicode, but the system keeps Windows-1251. Characters that the code
// page cannot hold would each become '?', so a query for «café» would look for «caf?» and be
// stored so in the history; folding gives the nearest text the code page can hold instead.
namespace verbalon::cp1251 {

// text in Windows-1251, every character the code page holds kept as it is (Cyrillic, "ё",
// quotation marks, "€") and every other one folded to the nearest letters it can hold: accents
// dropped ("é" -> "e", "Ł" -> "L"), ligatures and special letters spelled out ("ß" -> "ss",
// "æ" -> "ae"), other scripts written in Latin letters. Combining marks join their letter first,
// so "е" with a combining diaeresis is "ё". What has no such spelling becomes '?'.
std::string foldFromUtf16(std::u16string_view text);

}  // namespace verbalon::cp1251
