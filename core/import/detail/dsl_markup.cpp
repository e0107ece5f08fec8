#include "import/detail/dsl_markup.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/cp1251.h"
#include "common/html_escape.h"
#include "import/detail/dsl_headword.h"
#include "import/source_text.h"

namespace verbalon::import::detail {
namespace {

// Deeper nesting than this is not seen in real cards; the cap keeps every search of the open
// tags, and every repair of overlapping ones, short.
constexpr size_t kMaxOpenTags = 16;
// What a card may add beyond its own multiple, so that small cards are not starved.
constexpr size_t kBudgetSlack = 256;
// Longer text under [p] is no abbreviation; it is not looked up.
constexpr size_t kMaxAbbreviationBytes = 256;
constexpr size_t kMaxColorBytes = 32;
constexpr std::string_view kDefaultColor = "green";

size_t charLength(std::string_view text, size_t pos) {
  size_t next = pos;
  nextCodePoint(text, next);
  return std::min(next, text.size()) - pos;
}

// The first position of token at or after from. Lines are scanned from left to right, so one
// search serves every later call until the scan passes what it found: no line is searched
// twice over, however many unmatched brackets it holds.
class ForwardSearch {
 public:
  ForwardSearch(std::string_view line, std::string_view token) : m_line(line), m_token(token) {}
  size_t find(size_t from) {
    if (!m_searched || (m_found != std::string_view::npos && m_found < from)) {
      m_found = m_line.find(m_token, from);
      m_searched = true;
    }
    return m_found;
  }

 private:
  std::string_view m_line;
  std::string_view m_token;
  size_t m_found = std::string_view::npos;
  bool m_searched = false;
};

bool isColorName(std::string_view color) {
  if (color.empty() || color.size() > kMaxColorBytes) return false;
  return std::all_of(color.begin(), color.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#';
  });
}

bool isLinkableUrl(std::string_view url) {
  std::string lower(url.substr(0, 8));
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (std::string_view scheme : {"http://", "https://", "ftp://", "mailto:"}) {
    if (lower.starts_with(scheme) && url.size() > scheme.size()) return true;
  }
  return false;
}

}  // namespace

DslArticleBuilder::DslArticleBuilder(const DslAbbreviations& abbreviations)
    : m_abbreviations(abbreviations) {}

void DslArticleBuilder::beginCard(std::string_view tilde, size_t cardBytes) {
  m_tilde = tilde;
  m_tildeBudget = 4 * cardBytes + kBudgetSlack;
  m_repairBudget = cardBytes + kBudgetSlack;
  m_open.clear();
  m_article.clear();
  m_lastLineWasDiv = false;
}

bool DslArticleBuilder::takeBudget(size_t& budget, size_t bytes) {
  if (bytes > budget) return false;
  budget -= bytes;
  return true;
}

void DslArticleBuilder::addLine(std::string_view line) {
  m_line.clear();
  m_plain.clear();
  m_lineHasText = false;
  m_indent = -1;
  m_stressOpen = false;
  m_capture = Capture::kNone;
  m_captured.clear();
  reopen(std::exchange(m_open, {}));

  ForwardSearch tagEnd(line, "]");
  ForwardSearch tagStart(line, "[");
  ForwardSearch commentEnd(line, "}}");
  ForwardSearch refEnd(line, ">>");
  const auto literal = [&](std::string_view text) {
    if (m_capture != Capture::kNone) {
      m_captured += text;
    } else {
      appendText(text);
    }
  };
  for (size_t pos = 0; pos < line.size();) {
    const char c = line[pos];
    const char next = pos + 1 < line.size() ? line[pos + 1] : '\0';
    if (c == '\\' && pos + 1 < line.size()) {
      const size_t length = charLength(line, pos + 1);
      literal(line.substr(pos + 1, length));
      pos += 1 + length;
    } else if (c == '{' && next == '{') {
      const size_t end = commentEnd.find(pos + 2);
      if (end == std::string_view::npos) {
        literal("{");
        ++pos;
      } else {
        pos = end + 2;
      }
    } else if (c == '[') {
      const size_t end = tagEnd.find(pos + 1);
      const size_t nested = tagStart.find(pos + 1);
      if (end != std::string_view::npos && (nested == std::string_view::npos || nested > end)) {
        handleTag(line.substr(pos + 1, end - pos - 1));
        pos = end + 1;
      } else {
        literal("[");
        ++pos;
      }
    } else if (c == '>' && next == '>' && m_capture == Capture::kAngleRef) {
      endCapture();
      pos += 2;
    } else if (c == '<' && next == '<' && m_capture == Capture::kNone &&
               refEnd.find(pos + 2) != std::string_view::npos) {
      m_capture = Capture::kAngleRef;
      pos += 2;
    } else if (c == '~') {
      appendTilde();
      ++pos;
    } else {
      const size_t length = charLength(line, pos);
      literal(line.substr(pos, length));
      pos += length;
    }
  }
  endCapture();
  // Closed here, opened again on the next line (m_open keeps them).
  for (size_t i = m_open.size(); i-- > 0;) {
    emitClose(m_open[i]);
  }
  if (!m_lineHasText) return;

  if (!m_article.empty() && !m_lastLineWasDiv) m_article += '\n';
  if (m_indent >= 0) {
    m_article += "<div style=\"margin-left:";
    m_article += static_cast<char>('0' + m_indent);
    m_article += "em\">";
    m_article += m_line;
    m_article += "</div>";
  } else {
    m_article += m_line;
  }
  m_lastLineWasDiv = m_indent >= 0;
}

std::string DslArticleBuilder::finishCard() {
  m_open.clear();
  m_lastLineWasDiv = false;
  return std::exchange(m_article, {});
}

void DslArticleBuilder::handleTag(std::string_view tag) {
  tag = cp1251::trimBlanks(tag);
  const bool closing = tag.starts_with('/');
  if (closing) tag = cp1251::trimBlanks(tag.substr(1));
  const size_t blank = tag.find_first_of(" \t");
  std::string name(tag.substr(0, blank));
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const std::string_view attributes =
      blank == std::string_view::npos ? std::string_view() : cp1251::trimBlanks(tag.substr(blank));

  if (m_capture != Capture::kNone) {
    // Markup inside a link or a file name is not shown; only the end of the capture counts.
    const bool ends =
        closing && ((m_capture == Capture::kRef && name == "ref") ||
                    (m_capture == Capture::kUrl && name == "url") ||
                    (m_capture == Capture::kMedia && (name == "s" || name == "video")));
    if (ends) endCapture();
    return;
  }
  if (name == "'") {
    // The accent goes after the stressed letters, as a combining character.
    if (!closing) {
      m_stressOpen = true;
    } else if (m_stressOpen) {
      m_line += "&#769;";
      m_stressOpen = false;
    }
    return;
  }
  if (name.starts_with('m') &&
      (name.size() == 1 || (name.size() == 2 && name[1] >= '0' && name[1] <= '9'))) {
    // An indent belongs to the whole line; the first one given wins, [/m] only ends it.
    if (!closing && m_indent < 0) m_indent = name.size() == 1 ? 1 : name[1] - '0';
    return;
  }
  if (!closing) {
    if (name == "ref") {
      m_capture = Capture::kRef;
      return;
    }
    if (name == "url") {
      m_capture = Capture::kUrl;
      return;
    }
    if (name == "s" || name == "video") {
      m_capture = Capture::kMedia;
      return;
    }
  }
  static constexpr std::pair<std::string_view, Kind> kKinds[] = {
      {"b", Kind::kBold},          {"i", Kind::kItalic},        {"u", Kind::kUnderline},
      {"sup", Kind::kSuperscript}, {"sub", Kind::kSubscript},   {"c", Kind::kColor},
      {"p", Kind::kAbbreviation},  {"trn", Kind::kTranslation}, {"!trs", Kind::kTranscription},
      {"ex", Kind::kExample},      {"com", Kind::kComment},     {"*", Kind::kOptional},
      {"lang", Kind::kLanguage},
  };
  std::optional<Kind> kind;
  for (const auto& [tagName, tagKind] : kKinds) {
    if (name == tagName) kind = tagKind;
  }
  // Unknown tags ([t], [trs], [preview] ...) are dropped; their text stays.
  if (!kind) return;
  if (closing) {
    closeTag(*kind);
    return;
  }
  OpenTag open;
  open.kind = *kind;
  if (*kind == Kind::kColor) {
    open.color = isColorName(attributes) ? std::string(attributes) : std::string(kDefaultColor);
  }
  openTag(std::move(open));
}

void DslArticleBuilder::openTag(OpenTag tag) {
  if (m_open.size() >= kMaxOpenTags) return;
  emitOpen(tag);
  m_open.push_back(std::move(tag));
}

void DslArticleBuilder::closeTag(Kind kind) {
  size_t match = m_open.size();
  while (match > 0 && m_open[match - 1].kind != kind) {
    --match;
  }
  // A closing tag that closes nothing is dropped.
  if (match == 0) return;
  const size_t at = match - 1;
  // Overlapping tags ([b][i][/b][/i]): what was opened inside is closed with it and opened
  // again after it, so the HTML stays well nested.
  for (size_t i = m_open.size(); i-- > at;) {
    emitClose(m_open[i]);
  }
  std::vector<OpenTag> inside(
      std::make_move_iterator(m_open.begin() + static_cast<ptrdiff_t>(match)),
      std::make_move_iterator(m_open.end()));
  m_open.resize(at);
  reopen(std::move(inside));
}

void DslArticleBuilder::reopen(std::vector<OpenTag> tags) {
  // Opening tags again costs output the source did not pay for; past the card's budget a tag
  // is given up instead, which keeps the nesting right and loses only its style.
  for (OpenTag& tag : tags) {
    if (!takeBudget(m_repairBudget, 32 + tag.color.size())) continue;
    emitOpen(tag);
    m_open.push_back(std::move(tag));
  }
}

void DslArticleBuilder::emitOpen(OpenTag& tag) {
  switch (tag.kind) {
    case Kind::kBold:
      m_line += "<b>";
      break;
    case Kind::kItalic:
      m_line += "<i>";
      break;
    case Kind::kUnderline:
      m_line += "<u>";
      break;
    case Kind::kSuperscript:
      m_line += "<sup>";
      break;
    case Kind::kSubscript:
      m_line += "<sub>";
      break;
    case Kind::kColor:
      m_line += "<font color=\"";
      m_line += tag.color;
      m_line += "\">";
      break;
    case Kind::kAbbreviation:
      m_line += "<i class=\"p\"";
      tag.titleAt = m_line.size();
      tag.plainFrom = m_plain.size();
      m_line += '>';
      break;
    case Kind::kTranslation:
      m_line += "<span class=\"trn\">";
      break;
    case Kind::kTranscription:
      m_line += "<span class=\"trs\">";
      break;
    case Kind::kExample:
      m_line += "<span class=\"ex\">";
      break;
    case Kind::kComment:
      m_line += "<span class=\"com\">";
      break;
    case Kind::kOptional:
      m_line += "<span class=\"opt\">";
      break;
    case Kind::kLanguage:
      m_line += "<span class=\"lang\">";
      break;
  }
}

void DslArticleBuilder::emitClose(const OpenTag& tag) {
  switch (tag.kind) {
    case Kind::kBold:
      m_line += "</b>";
      break;
    case Kind::kItalic:
      m_line += "</i>";
      break;
    case Kind::kUnderline:
      m_line += "</u>";
      break;
    case Kind::kSuperscript:
      m_line += "</sup>";
      break;
    case Kind::kSubscript:
      m_line += "</sub>";
      break;
    case Kind::kColor:
      m_line += "</font>";
      break;
    case Kind::kAbbreviation: {
      // The text is known only now; the title goes into the tag already written. Tags opened
      // later are closed by now, so no other recorded position moves.
      if (m_plain.size() - tag.plainFrom <= kMaxAbbreviationBytes) {
        const std::string key(cp1251::trimBlanks(std::string_view(m_plain).substr(tag.plainFrom)));
        const auto found = m_abbreviations.find(key);
        if (found != m_abbreviations.end()) {
          m_line.insert(tag.titleAt, " title=\"" + escapeHtml(found->second) + "\"");
        }
      }
      m_line += "</i>";
      break;
    }
    case Kind::kTranslation:
    case Kind::kTranscription:
    case Kind::kExample:
    case Kind::kComment:
    case Kind::kOptional:
    case Kind::kLanguage:
      m_line += "</span>";
      break;
  }
}

void DslArticleBuilder::endCapture() {
  const Capture capture = std::exchange(m_capture, Capture::kNone);
  const std::string text = collapseBlanks(m_captured);
  m_captured.clear();
  if (text.empty()) return;
  switch (capture) {
    case Capture::kNone:
      break;
    case Capture::kRef:
    case Capture::kAngleRef:
      m_line += lookupLink(text, escapeHtml(text));
      m_plain += text;
      m_lineHasText = true;
      break;
    case Capture::kUrl:
      if (isLinkableUrl(text)) {
        const std::string escaped = escapeHtml(text);
        m_line += "<a href=\"" + escaped + "\">" + escaped + "</a>";
        m_plain += text;
        m_lineHasText = true;
      } else {
        appendText(text);
      }
      break;
    case Capture::kMedia:
      ++m_mediaLeftOut;
      break;
  }
}

void DslArticleBuilder::appendText(std::string_view text) {
  for (char c : text) {
    // Control characters are no text; a blank keeps the words apart.
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
    if (c != ' ') m_lineHasText = true;
    switch (c) {
      case '&':
        m_line += "&amp;";
        break;
      case '<':
        m_line += "&lt;";
        break;
      case '>':
        m_line += "&gt;";
        break;
      case '"':
        m_line += "&quot;";
        break;
      default:
        m_line += c;
    }
    m_plain += c;
  }
}

void DslArticleBuilder::appendTilde() {
  // Past the budget a "~" stays itself: a long headword repeated by thousands of tildes would
  // otherwise grow the card quadratically.
  const std::string_view text =
      takeBudget(m_tildeBudget, m_tilde.size()) ? std::string_view(m_tilde) : "~";
  if (m_capture != Capture::kNone) {
    m_captured += text;
  } else {
    appendText(text);
  }
}

std::string dslPlainText(std::string_view line) {
  std::string out;
  ForwardSearch tagEnd(line, "]");
  ForwardSearch commentEnd(line, "}}");
  for (size_t pos = 0; pos < line.size();) {
    const char c = line[pos];
    if (c == '\\' && pos + 1 < line.size()) {
      const size_t length = charLength(line, pos + 1);
      out += line.substr(pos + 1, length);
      pos += 1 + length;
    } else if (c == '[' && tagEnd.find(pos + 1) != std::string_view::npos) {
      pos = tagEnd.find(pos + 1) + 1;
    } else if (c == '{' && pos + 1 < line.size() && line[pos + 1] == '{' &&
               commentEnd.find(pos + 2) != std::string_view::npos) {
      pos = commentEnd.find(pos + 2) + 2;
    } else {
      const size_t length = charLength(line, pos);
      out += line.substr(pos, length);
      pos += length;
    }
  }
  return collapseBlanks(out);
}

}  // namespace verbalon::import::detail
