#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The body of a DSL card turned into the HTML fragment of an article.
namespace verbalon::import::detail {

// Abbreviation -> its expansion, both plain UTF-8 text.
using DslAbbreviations = std::unordered_map<std::string, std::string>;

// Builds one article at a time from the body lines of a card. Tags left open at the end of a
// line are closed there and opened again on the next line of the same card, so that every line,
// an indented <div> included, is well nested by itself; nothing is carried past the card.
class DslArticleBuilder {
 public:
  // abbreviations must outlive the builder.
  explicit DslArticleBuilder(const DslAbbreviations& abbreviations);

  // Starts a card. tilde is what "~" stands for (plain UTF-8); cardBytes is the size of the
  // card in the source, which bounds what the builder adds of its own (the headword for "~",
  // tags opened again), so that no input grows past a small multiple of itself.
  void beginCard(std::string_view tilde, size_t cardBytes);

  // One body line without its indent and line end. Requires: valid UTF-8.
  void addLine(std::string_view line);

  // The card's article: its lines joined by "\n", except after an indented <div>, which breaks
  // by itself. Empty when no line had anything to show.
  std::string finishCard();

  // Sound and picture references left out so far, over all cards.
  size_t mediaLeftOut() const { return m_mediaLeftOut; }

 private:
  enum class Kind {
    kBold,
    kItalic,
    kUnderline,
    kSuperscript,
    kSubscript,
    kColor,
    kAbbreviation,
    kTranslation,
    kTranscription,
    kExample,
    kComment,
    kOptional,
    kLanguage,
  };
  struct OpenTag {
    Kind kind = Kind::kBold;
    std::string color;     // kColor
    size_t titleAt = 0;    // kAbbreviation: where its title attribute goes in m_line
    size_t plainFrom = 0;  // kAbbreviation: where its text starts in m_plain
  };
  // Tags whose content is taken whole rather than shown as it comes.
  enum class Capture { kNone, kRef, kAngleRef, kUrl, kMedia };

  void handleTag(std::string_view tag);
  void openTag(OpenTag tag);
  void closeTag(Kind kind);
  void emitOpen(OpenTag& tag);
  void emitClose(const OpenTag& tag);
  void reopen(std::vector<OpenTag> tags);
  void endCapture();
  void appendText(std::string_view text);
  void appendTilde();
  bool takeBudget(size_t& budget, size_t bytes);

  const DslAbbreviations& m_abbreviations;
  std::string m_tilde;
  size_t m_tildeBudget = 0;
  size_t m_repairBudget = 0;
  std::vector<OpenTag> m_open;
  std::string m_article;
  bool m_lastLineWasDiv = false;

  // The line being built.
  std::string m_line;
  std::string m_plain;  // its text without markup, for abbreviation look-ups
  bool m_lineHasText = false;
  int m_indent = -1;  // [mN]: the line becomes an indented <div>
  bool m_stressOpen = false;
  Capture m_capture = Capture::kNone;
  std::string m_captured;

  size_t m_mediaLeftOut = 0;
};

// A line of DSL text without its markup, escapes resolved: what an abbreviation expands to.
std::string dslPlainText(std::string_view line);

}  // namespace verbalon::import::detail
