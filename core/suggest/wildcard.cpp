#include "suggest/wildcard.h"

#include "common/cp1251.h"

namespace verbalon::suggest {
namespace {

// Whether run matches word at offset at; the caller has checked that it fits.
bool runAt(const std::string& run, std::string_view word, size_t at) {
  for (size_t k = 0; k < run.size(); ++k) {
    if (run[k] != '?' && run[k] != cp1251::toLower(word[at + k])) return false;
  }
  return true;
}

}  // namespace

bool hasWildcard(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

WildcardPattern::WildcardPattern(std::string_view pattern) {
  const std::string lower = cp1251::toLower(pattern);
  m_starFirst = !lower.empty() && lower.front() == '*';
  m_starLast = !lower.empty() && lower.back() == '*';
  size_t begin = 0;
  while (begin <= lower.size()) {
    size_t end = lower.find('*', begin);
    if (end == std::string::npos) end = lower.size();
    // Adjacent stars leave empty runs, which constrain nothing.
    if (end > begin) m_runs.push_back(lower.substr(begin, end - begin));
    begin = end + 1;
  }
}

bool WildcardPattern::matches(std::string_view word) const {
  if (m_runs.empty()) return m_starFirst || word.empty();
  size_t first = 0;
  size_t last = m_runs.size();
  size_t from = 0;
  size_t until = word.size();
  if (!m_starFirst) {
    const std::string& run = m_runs.front();
    if (run.size() > word.size() || !runAt(run, word, 0)) return false;
    from = run.size();
    ++first;
    if (m_runs.size() == 1 && !m_starLast) return from == word.size();
  }
  if (!m_starLast && first < last) {
    const std::string& run = m_runs.back();
    if (run.size() > until - from || !runAt(run, word, until - run.size())) return false;
    until -= run.size();
    --last;
  }
  // The runs between stars, each at its leftmost fit in what the fixed ends leave.
  for (size_t r = first; r < last; ++r) {
    const std::string& run = m_runs[r];
    bool placed = false;
    while (!placed && from + run.size() <= until) {
      placed = runAt(run, word, from);
      if (!placed) ++from;
    }
    if (!placed) return false;
    from += run.size();
  }
  return true;
}

WildcardMatches matchWildcard(std::string_view pattern, const WordLines& words, size_t limit) {
  WildcardMatches result;
  const WildcardPattern compiled(pattern);
  for (size_t i = 0; i < words.size(); ++i) {
    if (!compiled.matches(words[i])) continue;
    if (result.positions.size() == limit) {
      result.cut = true;
      break;
    }
    result.positions.push_back(i);
  }
  return result;
}

}  // namespace verbalon::suggest
