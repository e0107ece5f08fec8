#include "suggest/dictionary_forms.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include <hunspell.hxx>

#include "common/cp1251.h"

namespace verbalon::suggest {
namespace {

namespace fs = std::filesystem;

// The encoding an .aff file declares on its SET line, before Hunspell is asked to load the
// much larger .dic: ISO8859-1 when there is none, as Hunspell assumes.
std::string declaredEncoding(const fs::path& aff) {
  std::ifstream in(aff);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("SET", 0) == 0 && line.size() > 3 && (line[3] == ' ' || line[3] == '\t')) {
      const size_t begin = line.find_first_not_of(" \t", 3);
      const size_t end = line.find_last_not_of(" \t\r");
      if (begin == std::string::npos) break;
      return line.substr(begin, end + 1 - begin);
    }
  }
  return "ISO8859-1";
}

}  // namespace

DictionaryForms::DictionaryForms(const fs::path& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const fs::path aff = folder / (name + ".aff");
    const fs::path dic = folder / (name + ".dic");
    std::error_code ec;
    if (!fs::is_regular_file(aff, ec) || !fs::is_regular_file(dic, ec)) continue;
    if (declaredEncoding(aff) != "UTF-8") continue;
    m_dictionaries.push_back({name, std::make_unique<Hunspell>(aff.c_str(), dic.c_str())});
  }
}

DictionaryForms::~DictionaryForms() = default;
DictionaryForms::DictionaryForms(DictionaryForms&&) noexcept = default;
DictionaryForms& DictionaryForms::operator=(DictionaryForms&&) noexcept = default;

std::vector<std::string> DictionaryForms::dictionaryNames() const {
  std::vector<std::string> names;
  for (const Dictionary& d : m_dictionaries) {
    names.push_back(d.name);
  }
  return names;
}

std::string DictionaryForms::description() const {
  std::string line = cp1251::fromUtf8("Словарные формы: ");
  if (m_dictionaries.empty()) return line + cp1251::fromUtf8("нет словарей Hunspell");
  line += "Hunspell (";
  for (size_t i = 0; i < m_dictionaries.size(); ++i) {
    if (i > 0) line += ", ";
    line += m_dictionaries[i].name;
  }
  return line + ")";
}

std::vector<std::string> DictionaryForms::stems(std::string_view word) {
  std::vector<std::string> out;
  if (word.empty()) return out;
  const std::string utf8 = cp1251::toUtf8(word);
  for (Dictionary& d : m_dictionaries) {
    for (const std::string& stem : d.hunspell->stem(utf8)) {
      const std::string text = cp1251::fromUtf8(stem);
      if (text.empty() || cp1251::toUtf8(text) != stem) continue;
      if (std::find(out.begin(), out.end(), text) == out.end()) out.push_back(text);
    }
  }
  return out;
}

}  // namespace verbalon::suggest
