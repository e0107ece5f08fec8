#include "import/detail/dsl_headword.h"

#include <algorithm>
#include <cstdint>

#include "import/source_text.h"

namespace verbalon::import::detail {
namespace {

// The length of the UTF-8 character that starts at text[pos] (the text is valid).
size_t charLength(std::string_view text, size_t pos) {
  size_t next = pos;
  nextCodePoint(text, next);
  return std::min(next, text.size()) - pos;
}

struct Segment {
  std::string text;
  bool optional = false;
};

}  // namespace

std::string collapseBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool pendingBlank = false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ') {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) out += ' ';
    pendingBlank = false;
    out += c;
  }
  return out;
}

DslHeadword parseDslHeadword(std::string_view line) {
  std::vector<Segment> segments(1);
  std::string display;
  // Where the display form holds the "(" of an optional part that is still open: a part never
  // closed was a literal bracket after all.
  size_t openAt = 0;
  bool inOptional = false;
  size_t nestedParens = 0;
  size_t braceDepth = 0;
  for (size_t pos = 0; pos < line.size();) {
    const char c = line[pos];
    std::string_view literal;
    if (c == '\\' && pos + 1 < line.size()) {
      literal = line.substr(pos + 1, charLength(line, pos + 1));
      pos += 1 + literal.size();
    } else if (c == '{') {
      ++braceDepth;
      ++pos;
      continue;
    } else if (c == '}' && braceDepth > 0) {
      --braceDepth;
      ++pos;
      continue;
    } else if (c == '[' && braceDepth > 0) {
      // Markup inside a shown-only part ("{[i]}"): skip the tag, never past the part's end.
      while (pos < line.size() && line[pos] != ']' && line[pos] != '}') {
        ++pos;
      }
      if (pos < line.size() && line[pos] == ']') ++pos;
      continue;
    } else if (c == '(' && braceDepth == 0) {
      ++pos;
      if (inOptional) {
        ++nestedParens;
      } else {
        inOptional = true;
        openAt = display.size();
        segments.push_back({"", true});
      }
      continue;
    } else if (c == ')' && braceDepth == 0 && inOptional) {
      ++pos;
      if (nestedParens > 0) {
        --nestedParens;
      } else {
        inOptional = false;
        segments.push_back({"", false});
      }
      continue;
    } else {
      literal = line.substr(pos, charLength(line, pos));
      pos += literal.size();
    }
    display += literal;
    if (braceDepth == 0) segments.back().text += literal;
  }
  if (inOptional) {
    segments.back().optional = false;
    segments.back().text.insert(0, "(");
    display.insert(openAt, "(");
  }

  size_t optionalCount = 0;
  for (const Segment& segment : segments) {
    optionalCount += segment.optional ? 1 : 0;
  }
  // Every combination up to three optional parts (eight forms); past that only the longest
  // and the shortest, as the combinations would grow past what anyone looks up.
  std::vector<uint32_t> masks;
  if (optionalCount <= 3) {
    for (uint32_t mask = (1u << optionalCount); mask-- > 0;) {
      masks.push_back(mask);
    }
  } else {
    masks = {UINT32_MAX, 0};
  }
  DslHeadword result;
  result.display = collapseBlanks(display);
  for (uint32_t mask : masks) {
    std::string form;
    size_t optionalIndex = 0;
    for (const Segment& segment : segments) {
      if (segment.optional) {
        const bool included = mask == UINT32_MAX || (mask >> optionalIndex & 1u) != 0;
        ++optionalIndex;
        if (!included) continue;
      }
      form += segment.text;
    }
    std::string variant = collapseBlanks(form);
    if (variant.empty()) continue;
    bool seen = false;
    for (const std::string& other : result.variants) {
      seen = seen || other == variant;
    }
    if (!seen) result.variants.push_back(std::move(variant));
    if (result.variants.size() == kMaxHeadwordVariants) break;
  }
  return result;
}

}  // namespace verbalon::import::detail
