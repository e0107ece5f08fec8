#pragma once

#include <string>
#include <string_view>

// Text inside the system is single-byte Windows-1251. These are the only conversions between it
// and Unicode, and the code page's own letter-case mapping (Cyrillic included).
namespace verbalon::cp1251 {

char toUpper(char c);
char toLower(char c);
std::string toUpper(std::string_view text);
std::string toLower(std::string_view text);

// Only the ASCII letters A-Z lowered; Cyrillic and every other byte stay as they are. Package
// paths are compared in this form.
std::string toLowerAscii(std::string_view text);

// text without the characters of code 32 or below (blanks and control characters) at its ends.
std::string_view trimBlanks(std::string_view text);

// Equal when both are equal after upper-casing by the code page's rules.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// The Unicode character of one byte. Every byte has one: 0x98, which the code page leaves
// undefined, maps to U+0098 so that conversions round-trip.
char16_t toUnicode(char c);

std::u16string toUtf16(std::string_view text);
std::string toUtf8(std::string_view text);

// Characters outside the code page become '?'. Invalid UTF-8 sequences count as one
// unrepresentable character each.
std::string fromUtf16(std::u16string_view text);
std::string fromUtf8(std::string_view text);

}  // namespace verbalon::cp1251
