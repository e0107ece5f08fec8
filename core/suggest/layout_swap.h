#pragma once

#include <string>
#include <string_view>

// Text typed with the wrong keyboard layout: the Russian ЙЦУКЕН and the Latin QWERTY layout put
// their letters on the same keys, so "ljv" is «дом» typed with QWERTY active.
namespace verbalon::suggest {

// text as if its keys had been pressed in the other layout. The direction follows the letters:
// when text has more Cyrillic than Latin letters, every Cyrillic letter becomes the QWERTY
// character of its key («дом» → "ljv", «б» → ","); otherwise every QWERTY character that has a
// Cyrillic letter on its key becomes that letter ("ljv" → «дом», "[" → «х», "~" → «Ё»), so the
// letters of the other script in a word typed half in each stay as they are. Upper case keeps
// its shift: «Ж» ↔ ":". Everything else (digits, blanks, "*", "?") is unchanged. Windows-1251.
std::string layoutSwap(std::string_view text);

}  // namespace verbalon::suggest
