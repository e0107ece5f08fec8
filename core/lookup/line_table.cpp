#include "lookup/line_table.h"

#include <string>

#include "lookup/lookup_error.h"

namespace verbalon::lookup {

StringList LineTable::toStringList() const {
  StringList lines;
  lines.reserve(size());
  for (size_t i = 0; i < size(); ++i) {
    lines.emplace_back((*this)[i]);
  }
  return lines;
}

void LineTable::damaged(size_t i) const {
  throw ELookupCacheError(std::string(m_origin) + ": line " + std::to_string(i) +
                          " lies outside the text of its list");
}

}  // namespace verbalon::lookup
