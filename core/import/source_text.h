#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text conversions that readers share: every encoding a source may use into UTF-8, and plain
// text into the HTML fragment of an article.
namespace verbalon::import {

bool isValidUtf8(std::string_view text);

// text with every byte that does not start a valid UTF-8 sequence replaced by U+FFFD, so that
// what follows can trust it.
std::string repairUtf8(std::string_view text);

// text without a leading UTF-8 byte-order mark.
std::string_view stripUtf8Bom(std::string_view text);

std::string utf8FromLatin1(std::string_view text);

// UTF-16 bytes, little- or big-endian, without a byte-order mark. An odd last byte is dropped;
// an unpaired surrogate becomes U+FFFD.
std::string utf8FromUtf16(std::string_view bytes, bool bigEndian);

// Decodes one UTF-8 character at text[pos] (which must be valid UTF-8) and advances pos.
char32_t nextCodePoint(std::string_view text, size_t& pos);

// Plain text as an article fragment: escaped, line ends (CR LF, CR, LF) as "\n", and the
// blanks that indent a line kept as no-break spaces, U+00A0 (a tab as four), so that numbered
// senses stay readable.
std::string plainTextToHtml(std::string_view text);

// A link that looks a word up, as a Ctrl+click on it would: <a class="ref" href="lookup:WORD">
// with the word's UTF-8 bytes percent-encoded in the address. text is the link's HTML content.
std::string lookupLink(std::string_view word, std::string_view text);

// The address scheme of lookupLink, which the article view turns into a look-up.
inline constexpr std::string_view kLookupScheme = "lookup:";

}  // namespace verbalon::import
