#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The markup a StarDict article field may hold, turned into article fragments. Every function
// requires valid UTF-8 and gives valid UTF-8; none trusts the markup to be well formed: a tag
// that never ends is shown as text, and the fragment closes every element it opened.
namespace verbalon::import::detail {

// HTML (type 'h') or Pango markup (type 'g') with <script>, <style>, <object>, <embed> and
// <iframe> left out with their content and every on* attribute and javascript: address
// dropped. lineBreaks keeps the source's line breaks as "\n" (Pango shows them); otherwise they
// become blanks, as in HTML. Each <object> and <embed> left out adds one to mediaLeftOut.
std::string sanitizeMarkup(std::string_view markup, bool lineBreaks, size_t& mediaLeftOut);

// XDXF (type 'x') as HTML: <k> bold, <tr> in brackets, <c c="..."> a coloured <font>, <abr>
// italic, <ex>, <dtrn> and <co> spans of class "ex", "trn" and "com", <kref> a look-up link;
// <b> <i> <u> <sub> <sup> <blockquote> stay. Each <rref> is left out and adds one to
// mediaLeftOut; other tags are dropped with their text kept.
std::string xdxfToHtml(std::string_view markup, size_t& mediaLeftOut);

// text with the character references of XML and HTML's &nbsp; decoded; a reference that is
// unknown or names no character stays as it is.
std::string decodeEntities(std::string_view text);

}  // namespace verbalon::import::detail
