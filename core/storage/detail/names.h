#pragma once

#include <string>
#include <string_view>

// Element names as the compound file format compares them.
namespace verbalon::storage::detail {

// The simple (one unit to one unit) upper case of a UTF-16 unit by the table Windows uses for
// element names: ASCII, Latin-1 (but "ß" stays, "ÿ" becomes "Ÿ"), Latin Extended-A, Greek and
// Cyrillic. Units it does not know stay as they are.
char16_t upcaseUnit(char16_t c);

// The order of siblings in a storage: shorter names first, names of equal length by their
// upper-cased units. Negative, zero or positive like strcmp.
int compareNames(std::u16string_view a, std::u16string_view b);

// 1 to 31 units, none of them "/", "\", ":" or "!".
bool isValidName(std::u16string_view name);

}  // namespace verbalon::storage::detail
