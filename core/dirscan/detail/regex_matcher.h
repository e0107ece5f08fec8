#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace verbalon::dirscan::detail {

// A Perl-style regular expression searched for anywhere in a text (anchored at neither end),
// letter case significant. The expression and the texts are UTF-8, so "." stands for one
// character, not one byte; a text that is not valid UTF-8 is still searched, and its broken bytes
// match nothing.
//
// The expression is compiled at the first search and then reused; a scan makes one matcher.
class RegexMatcher {
 public:
  explicit RegexMatcher(std::string expression);
  ~RegexMatcher();
  RegexMatcher(const RegexMatcher&) = delete;
  RegexMatcher& operator=(const RegexMatcher&) = delete;

  // Throws EMaskError when the expression cannot be compiled (at every call, without compiling
  // it again) or when the search exceeds the library's match limits.
  bool containsMatch(std::string_view text);

 private:
  struct Compiled;

  void compile();

  std::string m_expression;
  std::unique_ptr<Compiled> m_compiled;
  std::string m_compileError;  // set when compiling failed
};

}  // namespace verbalon::dirscan::detail
