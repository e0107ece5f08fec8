#include "index/index_entry.h"

#include <charconv>
#include <string>

#include "common/cp1251.h"
#include "index/index_error.h"

namespace verbalon::index {

std::vector<std::string_view> splitEntry(std::string_view entry) {
  std::vector<std::string_view> parts;
  if (entry.empty()) return parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = entry.find('|', start);
    if (bar == std::string_view::npos) {
      parts.push_back(entry.substr(start));
      return parts;
    }
    parts.push_back(entry.substr(start, bar - start));
    start = bar + 1;
  }
}

std::string_view partDictField(std::string_view part) {
  return part.substr(0, part.find(':'));
}

IndexPart parsePart(std::string_view part) {
  const size_t first = part.find(':');
  const size_t last = part.rfind(':');
  const std::string_view number = part.substr(0, first);
  IndexPart result;
  bool ok = first != std::string_view::npos && last != first && !number.empty() &&
            number.size() <= 9 && (number.size() == 1 || number[0] != '0');
  if (ok) {
    const auto [end, ec] =
        std::from_chars(number.data(), number.data() + number.size(), result.dict);
    ok = ec == std::errc() && end == number.data() + number.size();
  }
  if (!ok) throw EIndexError("malformed index entry part '" + cp1251::toUtf8(part) + "'");
  result.path = part.substr(first + 1, last - first - 1);
  result.line = part.substr(last + 1);
  return result;
}

const dicts::TDict& dictOfPart(const dicts::TDicts& dicts, const IndexPart& part) {
  if (part.dict >= dicts.size()) {
    throw EIndexError("index entry names dictionary " + std::to_string(part.dict) + ", but only " +
                      std::to_string(dicts.size()) + " are installed");
  }
  const dicts::TDict& dict = dicts[part.dict];
  if (dict.isEmptySlot()) {
    throw EIndexError("index entry names dictionary " + std::to_string(part.dict) +
                      ", which has been removed");
  }
  return dict;
}

}  // namespace verbalon::index
