#pragma once

#include <string>
#include <string_view>
#include <vector>

// The headword line of a DSL card, read into the words that lead to the card.
namespace verbalon::import::detail {

// A headword line never gives more words than this, however many optional parts it has.
inline constexpr size_t kMaxHeadwordVariants = 8;

struct DslHeadword {
  // The indexed forms: with and without each optional "(...)" part, "{...}" parts left out;
  // blanks collapsed, trimmed, none empty, no two equal. The longest form comes first.
  std::vector<std::string> variants;
  // The line as a card shows it, which "~" in the card's body stands for: "{...}" and
  // optional parts kept without their brackets.
  std::string display;
};

// Requires: line is valid UTF-8.
DslHeadword parseDslHeadword(std::string_view line);

// text with runs of blanks and control characters made one blank, and none at its ends.
std::string collapseBlanks(std::string_view text);

}  // namespace verbalon::import::detail
