#include "article/detail/article_shape.h"

#include <algorithm>

#include "common/cp1251.h"

namespace verbalon::article::detail {
namespace {

constexpr std::string_view kBreak = "&#8203;";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Where text (ASCII letters compared without case) first occurs in html from from; npos if not.
size_t findNoCase(std::string_view html, std::string_view text, size_t from) {
  for (size_t i = from; i + text.size() <= html.size(); ++i) {
    size_t k = 0;
    while (k < text.size() && lowerAscii(html[i + k]) == text[k]) {
      ++k;
    }
    if (k == text.size()) return i;
  }
  return std::string_view::npos;
}

// One piece of markup that starts at html[i] == '<' and must be copied whole: a comment, or a
// tag (a ">" inside a quoted value does not end it) together with the text and the end tag of a
// STYLE or SCRIPT element it opens. Returns its end; 0 when the "<" starts no markup. lineBreak
// tells a BR.
size_t markupEnd(std::string_view html, size_t i, bool& lineBreak) {
  const size_t n = html.size();
  lineBreak = false;
  if (html.substr(i, 4) == "<!--") {
    const size_t close = html.find("-->", i + 4);
    return close == std::string_view::npos ? n : close + 3;
  }
  size_t j = i + 1;
  const bool closing = j < n && html[j] == '/';
  if (closing) ++j;
  if (j >= n || !(isAsciiLetter(html[j]) || (!closing && (html[j] == '!' || html[j] == '?')))) {
    return 0;
  }
  std::string name;
  while (j < n && isAsciiLetter(html[j]) && name.size() < 8) {
    name += lowerAscii(html[j++]);
  }
  char quote = 0;
  for (; j < n; ++j) {
    if (quote) {
      if (html[j] == quote) quote = 0;
    } else if (html[j] == '"' || html[j] == '\'') {
      quote = html[j];
    } else if (html[j] == '>') {
      break;
    }
  }
  size_t end = j < n ? j + 1 : n;
  lineBreak = name == "br" || name == "p" || name == "div" || name == "li" || name == "tr";
  // The text of these elements is no HTML text: nothing in it may be cut or broken.
  if (!closing && (name == "style" || name == "script")) {
    const size_t close = findNoCase(html, "</" + name, end);
    const size_t closeEnd = close == std::string_view::npos ? n : html.find('>', close);
    end = closeEnd == std::string_view::npos ? n : std::min(n, closeEnd + 1);
  }
  return end;
}

// The length of the character reference at html[i] == '&', or 0 when none stands there.
size_t referenceLength(std::string_view html, size_t i) {
  size_t j = i + 1;
  while (j < html.size() && j - i <= 10 &&
         (isAsciiLetter(html[j]) || (html[j] >= '0' && html[j] <= '9') || html[j] == '#')) {
    ++j;
  }
  return j < html.size() && html[j] == ';' && j > i + 1 ? j + 1 - i : 0;
}

}  // namespace

std::string cutNote() {
  return cp1251::fromUtf8("<BR><I>…статья сокращена</I>");
}

std::string shapeArticle(std::string_view html, size_t limit, bool breakRuns, bool& cut) {
  std::string out;
  if (html.size() <= limit && !breakRuns) return std::string(html);
  out.reserve(std::min(html.size(), limit) + 16);
  size_t run = 0;  // text characters since the last break opportunity
  size_t i = 0;
  while (i < html.size()) {
    size_t end = i + 1;
    bool text = true;
    if (html[i] == '<') {
      bool lineBreak = false;
      if (const size_t markup = markupEnd(html, i, lineBreak); markup != 0) {
        end = markup;
        text = false;
        if (lineBreak) run = 0;
      }
    } else if (html[i] == '&') {
      if (const size_t length = referenceLength(html, i); length != 0) end = i + length;
    }
    const bool needsBreak = breakRuns && text && !isBlank(html[i]) && run >= kLongestRun;
    const size_t cost = end - i + (needsBreak ? kBreak.size() : 0);
    if (out.size() + cost > limit) {
      cut = true;
      break;
    }
    if (text && isBlank(html[i])) {
      run = 0;
    } else if (text) {
      if (needsBreak) {
        out += kBreak;
        run = 0;
      }
      ++run;
    }
    out.append(html.substr(i, end - i));
    i = end;
  }
  return out;
}

}  // namespace verbalon::article::detail
