#include "dicts/article_location.h"

namespace verbalon::dicts {

bool readDecimal(std::string_view text, size_t& value) noexcept {
  if (text.empty() || text.size() > kLocationDigits) return false;
  size_t result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<size_t>(c - '0');
  }
  value = result;
  return true;
}

const char* readArticleLocation(std::string_view text, ArticleLocation& location) noexcept {
  if (text.find('|') != std::string_view::npos) return "holds \"|\"";
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return "has no \":\" before a line number";
  if (text.find(':', colon + 1) != std::string_view::npos) {
    return "has a \":\" inside its stream path";
  }
  if (!readDecimal(text.substr(colon + 1), location.line)) {
    return "ends in no plain decimal line number";
  }
  location.path = text.substr(0, colon);
  return nullptr;
}

}  // namespace verbalon::dicts
