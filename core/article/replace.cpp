#include "article/replace.h"

#include "common/cp1251.h"

namespace verbalon::article {

std::string replaceAll(std::string_view text, std::string_view pattern, std::string_view value) {
  if (pattern.empty()) return std::string(text);
  // The code page maps one byte to one byte, so positions in the upper-cased copy are positions
  // in text.
  const std::string upperText = cp1251::toUpper(text);
  const std::string upperPattern = cp1251::toUpper(pattern);
  std::string result;
  size_t done = 0;
  for (size_t found = upperText.find(upperPattern); found != std::string::npos;
       found = upperText.find(upperPattern, done)) {
    result.append(text.substr(done, found - done));
    result.append(value);
    done = found + pattern.size();
  }
  if (done == 0) return std::string(text);
  result.append(text.substr(done));
  return result;
}

}  // namespace verbalon::article
