#include "import/detail/stardict_markup.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/cp1251.h"
#include "common/html_escape.h"
#include "common/utf8.h"
#include "import/source_text.h"

namespace verbalon::import::detail {
namespace {

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = lowerAscii(c);
  }
  return out;
}

struct Tag {
  std::string name;  // lower case
  bool closing = false;
  bool selfClosing = false;
  std::vector<std::pair<std::string, std::string>> attributes;  // names lower case

  const std::string* attribute(std::string_view attributeName) const {
    for (const auto& [key, value] : attributes) {
      if (key == attributeName) return &value;
    }
    return nullptr;
  }
};

enum class TagParse { kTag, kNotATag, kUnterminated };

bool isNameChar(char c) {
  return isAsciiLetter(c) || isAsciiDigit(c) || c == '-' || c == '_' || c == ':' || c == '.';
}

// Reads the tag whose '<' is at text[pos]; on success end is just past its '>'.
TagParse parseTag(std::string_view text, size_t pos, Tag& tag, size_t& end) {
  size_t i = pos + 1;
  if (i < text.size() && text[i] == '/') {
    tag.closing = true;
    ++i;
  }
  if (i >= text.size() || !isAsciiLetter(text[i])) return TagParse::kNotATag;
  const size_t nameStart = i;
  while (i < text.size() && isNameChar(text[i])) {
    ++i;
  }
  tag.name = lowerAscii(text.substr(nameStart, i - nameStart));
  while (true) {
    while (i < text.size() && isBlank(text[i])) {
      ++i;
    }
    if (i >= text.size()) return TagParse::kUnterminated;
    if (text[i] == '>') {
      end = i + 1;
      return TagParse::kTag;
    }
    if (text[i] == '/') {
      ++i;
      if (i < text.size() && text[i] == '>') {
        tag.selfClosing = true;
        end = i + 1;
        return TagParse::kTag;
      }
      continue;
    }
    const size_t keyStart = i;
    while (i < text.size() && !isBlank(text[i]) && text[i] != '=' && text[i] != '>' &&
           text[i] != '/') {
      ++i;
    }
    std::string key = lowerAscii(text.substr(keyStart, i - keyStart));
    while (i < text.size() && isBlank(text[i])) {
      ++i;
    }
    std::string value;
    if (i < text.size() && text[i] == '=') {
      ++i;
      while (i < text.size() && isBlank(text[i])) {
        ++i;
      }
      if (i >= text.size()) return TagParse::kUnterminated;
      if (text[i] == '"' || text[i] == '\'') {
        const size_t close = text.find(text[i], i + 1);
        if (close == std::string_view::npos) return TagParse::kUnterminated;
        value = text.substr(i + 1, close - i - 1);
        i = close + 1;
      } else {
        const size_t valueStart = i;
        while (i < text.size() && !isBlank(text[i]) && text[i] != '>') {
          ++i;
        }
        value = text.substr(valueStart, i - valueStart);
      }
    }
    if (!key.empty()) tag.attributes.emplace_back(std::move(key), std::move(value));
  }
}

// Where the closing tag of name starts at or after from, and where it ends; npos when the
// markup never closes the element.
std::pair<size_t, size_t> findClosingTag(std::string_view text, size_t from,
                                         std::string_view name) {
  for (size_t at = text.find("</", from); at != std::string_view::npos;
       at = text.find("</", at + 2)) {
    const size_t nameEnd = at + 2 + name.size();
    if (nameEnd > text.size()) break;
    if (lowerAscii(text.substr(at + 2, name.size())) != name) continue;
    if (nameEnd < text.size() && isNameChar(text[nameEnd])) continue;
    const size_t close = text.find('>', nameEnd);
    return {at, close == std::string_view::npos ? text.size() : close + 1};
  }
  return {std::string_view::npos, std::string_view::npos};
}

// The elements the output has open, so that a close tag without its open one is dropped, one
// that skips some closes those too, and the fragment ends with everything closed: an article
// must not leak bold or a colour into the rest of the page. Counting per name keeps a long
// run of stray close tags linear.
class OpenElements {
 public:
  void open(std::string name, std::string closeText) {
    ++m_count[name];
    m_stack.push_back({std::move(name), std::move(closeText)});
  }

  // Closes name and whatever was opened inside it; false when it is not open.
  bool close(const std::string& name, std::string& out) {
    const auto found = m_count.find(name);
    if (found == m_count.end() || found->second == 0) return false;
    while (true) {
      Element top = std::move(m_stack.back());
      m_stack.pop_back();
      --m_count[top.name];
      out += top.closeText;
      if (top.name == name) return true;
    }
  }

  void closeAll(std::string& out) {
    while (!m_stack.empty()) {
      out += m_stack.back().closeText;
      m_stack.pop_back();
    }
    m_count.clear();
  }

 private:
  struct Element {
    std::string name;
    std::string closeText;
  };
  std::vector<Element> m_stack;
  std::unordered_map<std::string, size_t> m_count;
};

// Walks markup: text goes to out with line breaks as "\n" or blanks, every tag to onTag,
// which may move pos past content it swallows. Comments, declarations and processing
// instructions are dropped. After one tag that never ends, the rest is text: whatever follows
// could only be read by guessing, and scanning on for '>' from every '<' would be quadratic.
void scanMarkup(std::string_view text, bool lineBreaks, std::string& out,
                const std::function<void(const Tag&, size_t& pos)>& onTag) {
  bool tagsEnded = false;
  size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
      out += lineBreaks ? '\n' : ' ';
      ++pos;
      continue;
    }
    if (c == '>') {
      out += "&gt;";
      ++pos;
      continue;
    }
    if (c != '<') {
      out += c;
      ++pos;
      continue;
    }
    if (!tagsEnded && text.substr(pos).starts_with("<!--")) {
      const size_t close = text.find("-->", pos + 4);
      pos = close == std::string_view::npos ? text.size() : close + 3;
      continue;
    }
    if (!tagsEnded && pos + 1 < text.size() && (text[pos + 1] == '!' || text[pos + 1] == '?')) {
      const size_t close = text.find('>', pos + 2);
      pos = close == std::string_view::npos ? text.size() : close + 1;
      continue;
    }
    Tag tag;
    size_t end = 0;
    const TagParse parsed = tagsEnded ? TagParse::kNotATag : parseTag(text, pos, tag, end);
    if (parsed != TagParse::kTag) {
      if (parsed == TagParse::kUnterminated) tagsEnded = true;
      out += "&lt;";
      ++pos;
      continue;
    }
    pos = end;
    onTag(tag, pos);
  }
}

bool isVoidElement(std::string_view name) {
  static constexpr std::string_view kVoid[] = {"area",   "base",  "br",   "col",  "hr",
                                               "img",    "input", "link", "meta", "param",
                                               "source", "track", "wbr"};
  for (std::string_view v : kVoid) {
    if (name == v) return true;
  }
  return false;
}

bool isDroppedElement(std::string_view name) {
  return name == "script" || name == "style" || name == "object" || name == "embed" ||
         name == "iframe";
}

// An attribute that could run code when the article is shown.
bool isActiveAttribute(const std::string& key, std::string_view value) {
  if (key.starts_with("on")) return true;
  size_t start = 0;
  while (start < value.size() && (isBlank(value[start]) || value[start] == '\0')) {
    ++start;
  }
  std::string scheme;
  for (size_t i = start; i < value.size() && scheme.size() < 16; ++i) {
    if (isBlank(value[i])) continue;  // browsers skip blanks inside "java script:"
    scheme += lowerAscii(value[i]);
  }
  return scheme.starts_with("javascript:") || scheme.starts_with("vbscript:");
}

bool isSafeAttributeName(std::string_view key) {
  if (key.empty() || !isAsciiLetter(key[0])) return false;
  for (char c : key) {
    if (!isNameChar(c)) return false;
  }
  return true;
}

std::string rebuildTag(const Tag& tag) {
  std::string out = "<" + tag.name;
  for (const auto& [key, value] : tag.attributes) {
    if (!isSafeAttributeName(key) || isActiveAttribute(key, value)) continue;
    out += ' ';
    out += key;
    out += "=\"";
    for (char c : value) {
      if (c == '\r' || c == '\n' || c == '\t') {
        out += ' ';
      } else if (c == '"') {
        out += "&quot;";
      } else if (c == '<') {
        out += "&lt;";
      } else if (c == '>') {
        out += "&gt;";
      } else {
        out += c;
      }
    }
    out += '"';
  }
  out += '>';
  return out;
}

std::string stripTags(std::string_view text) {
  std::string out;
  bool inTag = false;
  for (char c : text) {
    if (c == '<') {
      inTag = true;
    } else if (c == '>' && inTag) {
      inTag = false;
    } else if (!inTag) {
      out += c;
    }
  }
  return out;
}

bool isSafeColour(std::string_view colour) {
  if (colour.empty() || colour.size() > 32) return false;
  for (char c : colour) {
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '#') return false;
  }
  return true;
}

std::optional<char32_t> numericReference(std::string_view digits, bool hex) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    uint32_t digit = 0;
    if (isAsciiDigit(c)) {
      digit = static_cast<uint32_t>(c - '0');
    } else if (hex && lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f') {
      digit = static_cast<uint32_t>(lowerAscii(c) - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * (hex ? 16 : 10) + digit;
  }
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return static_cast<char32_t>(value);
}

}  // namespace

std::string decodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] != '&') {
      out += text[pos++];
      continue;
    }
    // The longest reference decoded here, "&#x10FFFF;", is ten characters.
    const size_t semicolon = text.substr(pos, 12).find(';');
    if (semicolon == std::string_view::npos) {
      out += text[pos++];
      continue;
    }
    const std::string_view name = text.substr(pos + 1, semicolon - 1);
    std::optional<char32_t> c;
    if (name == "lt") {
      c = U'<';
    } else if (name == "gt") {
      c = U'>';
    } else if (name == "amp") {
      c = U'&';
    } else if (name == "quot") {
      c = U'"';
    } else if (name == "apos") {
      c = U'\'';
    } else if (name == "nbsp") {
      c = U'\u00A0';
    } else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      c = numericReference(name.substr(hex ? 2 : 1), hex);
    }
    if (!c) {
      out += text[pos++];
      continue;
    }
    appendUtf8(out, *c);
    pos += semicolon + 1;
  }
  return out;
}

std::string sanitizeMarkup(std::string_view markup, bool lineBreaks, size_t& mediaLeftOut) {
  std::string out;
  out.reserve(markup.size());
  OpenElements open;
  scanMarkup(markup, lineBreaks, out, [&](const Tag& tag, size_t& pos) {
    if (isDroppedElement(tag.name)) {
      if (tag.closing) return;
      if (tag.name == "object" || tag.name == "embed") ++mediaLeftOut;
      if (tag.selfClosing || tag.name == "embed") return;
      pos = findClosingTag(markup, pos, tag.name).second;
      if (pos == std::string_view::npos) pos = markup.size();
      return;
    }
    if (tag.closing) {
      open.close(tag.name, out);
    } else if (isVoidElement(tag.name)) {
      out += rebuildTag(tag);
    } else if (tag.selfClosing) {
      out += rebuildTag(tag) + "</" + tag.name + ">";
    } else {
      out += rebuildTag(tag);
      open.open(tag.name, "</" + tag.name + ">");
    }
  });
  open.closeAll(out);
  return out;
}

std::string xdxfToHtml(std::string_view markup, size_t& mediaLeftOut) {
  std::string out;
  out.reserve(markup.size());
  OpenElements open;
  scanMarkup(markup, true, out, [&](const Tag& tag, size_t& pos) {
    const std::string& name = tag.name;
    if (name == "rref") {
      if (tag.closing) return;
      ++mediaLeftOut;
      if (tag.selfClosing) return;
      pos = findClosingTag(markup, pos, name).second;
      if (pos == std::string_view::npos) pos = markup.size();
      return;
    }
    if (name == "kref") {
      if (tag.closing || tag.selfClosing) return;
      const auto [closeStart, closeEnd] = findClosingTag(markup, pos, name);
      const size_t contentEnd = closeStart == std::string_view::npos ? markup.size() : closeStart;
      const std::string shown(
          cp1251::trimBlanks(decodeEntities(stripTags(markup.substr(pos, contentEnd - pos)))));
      pos = closeEnd == std::string_view::npos ? markup.size() : closeEnd;
      const std::string* target = tag.attribute("k");
      const std::string word =
          target ? std::string(cp1251::trimBlanks(decodeEntities(*target))) : shown;
      if (word.empty()) {
        out += escapeHtml(shown);
      } else {
        out += lookupLink(word, escapeHtml(shown.empty() ? word : shown));
      }
      return;
    }
    if (name == "br") {
      if (!tag.closing) out += '\n';
      return;
    }
    if (tag.closing) {
      open.close(name, out);
      return;
    }
    if (tag.selfClosing) return;
    std::string openText;
    std::string closeText;
    if (name == "k") {
      openText = "<b>";
      closeText = "</b>";
    } else if (name == "b" || name == "i" || name == "u" || name == "sub" || name == "sup" ||
               name == "blockquote") {
      openText = "<" + name + ">";
      closeText = "</" + name + ">";
    } else if (name == "tr") {
      openText = "[";
      closeText = "]";
    } else if (name == "c") {
      const std::string* colour = tag.attribute("c");
      openText = colour && isSafeColour(*colour) ? "<font color=\"" + *colour + "\">" : "<font>";
      closeText = "</font>";
    } else if (name == "abr") {
      openText = "<i>";
      closeText = "</i>";
    } else if (name == "ex" || name == "dtrn" || name == "co") {
      const std::string_view cls = name == "ex" ? "ex" : name == "dtrn" ? "trn" : "com";
      openText = "<span class=\"" + std::string(cls) + "\">";
      closeText = "</span>";
    } else {
      return;
    }
    out += openText;
    open.open(name, std::move(closeText));
  });
  open.closeAll(out);
  return out;
}

}  // namespace verbalon::import::detail
