#include "index/index_entry.h"

#include <charconv>
#include <string>

#include "common/cp1251.h"
#include "index/index_error.h"

namespace verbalon::index {
namespace {

// "|12:" for 12, in buffer; the view is valid while buffer is.
std::string_view writeBarNumberColon(size_t dict, char (&buffer)[24]) noexcept {
  buffer[0] = '|';
  const auto [end, ec] = std::to_chars(buffer + 1, buffer + sizeof buffer - 1, dict);
  *end = ':';
  return std::string_view(buffer, static_cast<size_t>(end - buffer) + 1);
}

static_assert(dicts::kLocationDigits == 9, "the fault below names the limit");

// What is wrong with part, or nullptr when it is a part of the format, read into result.
const char* readPart(std::string_view part, IndexPart& result) noexcept {
  if (part.empty()) return "is empty (a \"|\" at the start or the end, or two in a row)";
  const size_t colon = part.find(':');
  if (colon == std::string_view::npos) return "has no \":\" after a dictionary number";
  const std::string_view number = part.substr(0, colon);
  if (!dicts::readDecimal(number, result.dict)) {
    return "starts with no dictionary number of 1 to 9 decimal digits";
  }
  if (number.size() > 1 && number[0] == '0') return "has a leading zero in its dictionary number";
  dicts::ArticleLocation location;
  result.location = part.substr(colon + 1);
  if (const char* fault = dicts::readArticleLocation(result.location, location)) return fault;
  result.path = location.path;
  result.line = location.line;
  result.text = part;
  return nullptr;
}

}  // namespace

IndexEntry::Iterator::Iterator(const IndexEntry& entry) : m_entry(&entry), m_done(false) {
  if (entry.m_text.empty()) {
    m_done = true;
  } else {
    ++*this;
  }
}

IndexEntry::Iterator& IndexEntry::Iterator::operator++() {
  const std::string_view text = m_entry->m_text;
  // Past the last part: m_next stands one beyond the end, after the part that ended the text.
  if (m_next > text.size()) {
    m_done = true;
    return *this;
  }
  const size_t bar = text.find('|', m_next);
  const size_t end = bar == std::string_view::npos ? text.size() : bar;
  const std::string_view part = text.substr(m_next, end - m_next);
  ++m_number;
  if (const char* fault = readPart(part, m_part)) m_entry->malformed(m_number, part, fault);
  m_next = end + 1;
  return *this;
}

IndexEntry::DictMark::DictMark(size_t dict) noexcept
    : m_size(writeBarNumberColon(dict, m_text).size()) {}

bool IndexEntry::mentions(const DictMark& mark) const noexcept {
  const std::string_view anchored = mark.barNumberColon();
  // "|" + text contains "|n:".
  return m_text.starts_with(anchored.substr(1)) || m_text.find(anchored) != std::string_view::npos;
}

std::string IndexEntry::without(size_t dict) const {
  std::string kept;
  for (const IndexPart& part : *this) {
    if (part.dict == dict) continue;
    if (!kept.empty()) kept += '|';
    kept += part.text;
  }
  return kept;
}

void IndexEntry::appendPart(std::string& entry, size_t dict, std::string_view location) {
  char buffer[24];
  const std::string_view anchored = writeBarNumberColon(dict, buffer);
  entry += entry.empty() ? anchored.substr(1) : anchored;
  entry += location;
}

void IndexEntry::appendEntry(std::string& entry, std::string_view other) {
  if (other.empty()) return;
  if (!entry.empty()) entry += '|';
  entry += other;
}

void IndexEntry::malformed(size_t number, std::string_view part, const char* fault) const {
  throw EIndexError(EIndexError::Fault::kDamaged,
                    "the index entry of '" + cp1251::toUtf8(m_word) + "' is malformed: its part " +
                        std::to_string(number) + ", '" + cp1251::toUtf8(part) + "', " + fault);
}

const dicts::TDict& dictOfPart(const dicts::TDicts& dicts, const IndexPart& part) {
  if (part.dict >= dicts.size()) {
    throw EIndexError(EIndexError::Fault::kDamaged,
                      "index entry names dictionary " + std::to_string(part.dict) + ", but only " +
                          std::to_string(dicts.size()) + " are installed");
  }
  const dicts::TDict& dict = dicts[part.dict];
  if (dict.isEmptySlot()) {
    throw EIndexError(
        EIndexError::Fault::kDamaged,
        "index entry names dictionary " + std::to_string(part.dict) + ", which has been removed");
  }
  return dict;
}

}  // namespace verbalon::index
