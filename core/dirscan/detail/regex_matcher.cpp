#include "dirscan/detail/regex_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <array>

#include <pcre2.h>

#include "dirscan/dirscan_error.h"

namespace verbalon::dirscan::detail {
namespace {

std::string errorText(int code) {
  std::array<PCRE2_UCHAR, 256> buffer{};
  const int length = pcre2_get_error_message(code, buffer.data(), buffer.size());
  if (length < 0) {
    return "error " + std::to_string(code);
  }
  return std::string(reinterpret_cast<const char*>(buffer.data()),
                     static_cast<std::size_t>(length));
}

}  // namespace

struct RegexMatcher::Compiled {
  struct CodeDeleter {
    void operator()(pcre2_code* compiled) const { pcre2_code_free(compiled); }
  };
  struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
  };

  std::unique_ptr<pcre2_code, CodeDeleter> code;
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData;
};

RegexMatcher::RegexMatcher(std::string expression) : m_expression(std::move(expression)) {}

RegexMatcher::~RegexMatcher() = default;

void RegexMatcher::compile() {
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  // File names on disk may hold bytes that are not UTF-8; PCRE2_MATCH_INVALID_UTF searches them
  // instead of failing the whole name.
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(m_expression.data()), m_expression.size(),
                    PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &errorCode, &errorOffset, nullptr);
  if (code == nullptr) {
    m_compileError = "mask \"" + m_expression + "\": " + errorText(errorCode) + " at offset " +
                     std::to_string(errorOffset);
    return;
  }
  auto compiled = std::make_unique<Compiled>();
  compiled->code.reset(code);
  compiled->matchData.reset(pcre2_match_data_create_from_pattern(code, nullptr));
  if (!compiled->matchData) {
    m_compileError = "mask \"" + m_expression + "\": out of memory";
    return;
  }
  m_compiled = std::move(compiled);
}

bool RegexMatcher::containsMatch(std::string_view text) {
  if (!m_compiled && m_compileError.empty()) {
    compile();
  }
  if (!m_compiled) {
    throw EMaskError(m_compileError);
  }
  static constexpr char kEmpty[] = "";
  const char* subject = text.data() != nullptr ? text.data() : kEmpty;
  const int rc = pcre2_match(m_compiled->code.get(), reinterpret_cast<PCRE2_SPTR>(subject),
                             text.size(), 0, 0, m_compiled->matchData.get(), nullptr);
  if (rc >= 0) {
    return true;
  }
  if (rc == PCRE2_ERROR_NOMATCH) {
    return false;
  }
  throw EMaskError("mask \"" + m_expression + "\" on \"" + std::string(text) +
                   "\": " + errorText(rc));
}

}  // namespace verbalon::dirscan::detail
