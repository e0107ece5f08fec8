#pragma once

#include <QChar>
#include <functional>
#include <string>

// The word pick of the article view: a Ctrl+click takes the word under the mouse. A word is a
// run of characters between pick delimiters; hyphens, apostrophes, digits and the no-break
// space belong to words, so "кое-что" is picked whole.
namespace verbalon::ui {

// Whether the Windows-1251 character c ends a picked word: , . ; : ! ? space, tab, CR, LF,
// the double quote, ( ) [ ] { } < > (and '?', which every character the code page lacks
// becomes, so such a character ends the word too).
bool isPickDelimiter(char c);

// The displayed character at a text position, or false outside the text.
using CharAt = std::function<bool(int position, QChar& ch)>;

// The word around position (the character under the mouse, -1 over no text), in Windows-1251.
// When that character is a delimiter the word is the run that begins right after it.
std::string pickWord(int position, const CharAt& charAt);

}  // namespace verbalon::ui
