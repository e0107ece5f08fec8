// Makes an application folder whose combined index holds a given number of words, from a real
// one: every word of the real index comes again with the suffixes 1, 2, ... until the count is
// reached, each copy carrying the entry of its original, so that every word shows a real page.
// The data folder is the real one's, linked. For the look-up and start-up benchmarks at sizes
// no installed dictionaries reach.
//
//   make_big_index FROM_APP_FOLDER TO_APP_FOLDER WORDS
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/string_list.h"
#include "index/normalize.h"
#include "index/word_index.h"
#include "storage/storage.h"

namespace fs = std::filesystem;
using namespace verbalon;

int main(int argc, char** argv) {
  size_t wanted = 0;
  if (argc != 4 ||
      std::from_chars(argv[3], argv[3] + std::char_traits<char>::length(argv[3]), wanted).ec !=
          std::errc()) {
    std::fprintf(stderr, "usage: make_big_index FROM_APP_FOLDER TO_APP_FOLDER WORDS\n");
    return 2;
  }
  try {
    const fs::path from = argv[1];
    const fs::path to = argv[2];
    fs::create_directories(to);
    fs::copy_file(from / "vrbx.pde", to / "vrbx.pde", fs::copy_options::overwrite_existing);
    if (!fs::exists(to / "data")) {
      fs::create_directory_symlink(fs::absolute(from / "data"), to / "data");
    }

    storage::MemoryStream ReadBuf;
    StringList words;
    StringList entries;
    {
      const storage::CompoundFile stgRes = storage::CompoundFile::open(from / "vrbx.pde");
      words = storage::readLines(stgRes, index::kWordStream, ReadBuf);
      entries = storage::readLines(stgRes, index::kIndexStream, ReadBuf);
    }
    if (words.empty() || words.size() != entries.size()) throw Error("the real index is empty");
    std::vector<size_t> origin;
    StringList big;
    origin.reserve(wanted);
    big.reserve(wanted);
    for (size_t copy = 0; big.size() < wanted; ++copy) {
      for (size_t i = 0; i < words.size() && big.size() < wanted; ++i) {
        big.push_back(copy == 0 ? words[i] : words[i] + std::to_string(copy));
        origin.push_back(i);
      }
    }
    std::string keys;
    std::vector<size_t> ends;
    ends.reserve(big.size());
    for (const std::string& word : big) {
      index::appendSortKey(word, keys);
      ends.push_back(keys.size());
    }
    auto key = [&](size_t i) {
      const size_t begin = i == 0 ? 0 : ends[i - 1];
      return std::string_view(keys).substr(begin, ends[i] - begin);
    };
    std::vector<size_t> order(big.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
    StringList sortedWords;
    StringList sortedEntries;
    sortedWords.reserve(order.size());
    sortedEntries.reserve(order.size());
    for (size_t n = 0; n < order.size(); ++n) {
      // A copy whose key a real word has already: the first one stays, as a merge keeps it.
      if (n > 0 && key(order[n]) == key(order[n - 1])) continue;
      sortedWords.push_back(std::move(big[order[n]]));
      sortedEntries.push_back(entries[origin[order[n]]]);
    }
    const storage::CompoundFile stgRes = storage::CompoundFile::open(to / "vrbx.pde");
    storage::WriteStream(stgRes, index::kWordStream, joinLines(sortedWords), true);
    storage::WriteStream(stgRes, index::kIndexStream, joinLines(sortedEntries), true);
    std::printf("%zu words in %s\n", sortedWords.size(), to.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_big_index: %s\n", e.what());
    return 1;
  }
  return 0;
}
