#pragma once

#include <optional>
#include <string>
#include <string_view>

// The reading side of lookupLink (source_text.h): what word a "lookup:" address of an article
// looks up.
namespace verbalon::import {

// The word of a look-up address, as the system's text: Windows-1251, a character the code page
// cannot hold folded the way the importer folds headwords (é -> e), so that the link finds the
// headword it was written for, and '?' where even folding finds nothing. href is the address
// as the page writes it, in Windows-1251: "%XX" escapes are bytes of UTF-8, every other
// character stands for itself, and a "%" without two hex digits is a plain "%". None when href
// is not of kLookupScheme (the scheme's letter case ignored).
std::optional<std::string> lookupWord(std::string_view href);

}  // namespace verbalon::import
