// Feeds tab-separated text to its reader.
// Any error but verbalon::Error is a finding, and so is an entry without a headword.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/error.h"
#include "import/tab_reader.h"
#include "import_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto files = verbalon::fuzz::splitSourceFiles(data, size, 1);
  try {
    const verbalon::import::DictionarySource source =
        verbalon::import::parseTabText(files[0], "fuzz");
    for (const auto& entry : source.entries) {
      if (entry.headwords.empty()) std::abort();
    }
  } catch (const verbalon::Error&) {
  }
  return 0;
}
