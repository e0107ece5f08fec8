#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Hunspell;

// Dictionary forms of an inflected word («домами» → «дом») from Hunspell's dictionaries. Where
// none can be found the source is off, silently: stems() gives nothing.
namespace verbalon::suggest {

// Where Debian's hunspell-* packages put their dictionaries.
inline constexpr const char* kSystemHunspellFolder = "/usr/share/hunspell";

class DictionaryForms {
 public:
  // Opens NAME.aff with NAME.dic from folder for every name that has both, in the given order.
  // A dictionary whose encoding is not UTF-8 (the encoding Debian ships) is left out.
  explicit DictionaryForms(const std::filesystem::path& folder = kSystemHunspellFolder,
                           const std::vector<std::string>& names = {"ru_RU", "en_US"});
  ~DictionaryForms();
  DictionaryForms(DictionaryForms&&) noexcept;
  DictionaryForms& operator=(DictionaryForms&&) noexcept;

  bool enabled() const { return !m_dictionaries.empty(); }
  // The names of the dictionaries in use, in order.
  std::vector<std::string> dictionaryNames() const;
  // One line for the about window (Windows-1251): «Словарные формы: Hunspell (ru_RU, en_US)»,
  // or «Словарные формы: нет словарей Hunspell».
  std::string description() const;

  // The stems every dictionary gives for word (Windows-1251), in dictionary order, each once.
  // Stems with characters Windows-1251 cannot hold are dropped. Hunspell keeps state while it
  // works, so one object serves one thread at a time.
  std::vector<std::string> stems(std::string_view word);

 private:
  struct Dictionary {
    std::string name;
    std::unique_ptr<Hunspell> hunspell;
  };
  std::vector<Dictionary> m_dictionaries;
};

}  // namespace verbalon::suggest
