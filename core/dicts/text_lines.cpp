#include "dicts/text_lines.h"

#include <utility>

namespace verbalon::dicts {

TextLines::TextLines(std::string text) : m_text(std::move(text)), m_spans(lineSpans(m_text)) {}

TextLines::TextLines(const StringList& lines) : TextLines(joinLines(lines)) {}

}  // namespace verbalon::dicts
