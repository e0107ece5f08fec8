#include <gtest/gtest.h>

#include "index/normalize.h"
#include "index/word_index.h"
#include "oracle.h"
#include "recording_progress.h"
#include "test_words.h"

namespace verbalon::index {
namespace {

using testing::OracleDict;
using testing::OracleIndex;
using testing::RecordingProgress;
using testing::WordMaker;

// Dictionaries drawn from one shared vocabulary, so they overlap, with duplicates and other
// spellings of the same word inside each one.
std::vector<OracleDict> makeDictionaries(WordMaker& maker, size_t count) {
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 400; ++i)
    vocabulary.push_back(maker.base());
  std::vector<OracleDict> out;
  for (size_t d = 0; d < count; ++d) {
    OracleDict dict;
    dict.fileName = "d" + std::to_string(d) + ".brd";
    dict.shortTitle = "S" + std::to_string(d);
    const size_t items = maker.rng()() % 4 == 0 ? maker.rng()() % 3 : 50 + maker.rng()() % 300;
    for (size_t k = 0; k < items; ++k) {
      const std::string& base = vocabulary[maker.rng()() % vocabulary.size()];
      dict.items.push_back(maker.rng()() % 3 == 0 ? maker.variant(base) : base);
      dict.locations.push_back("st\\" + std::to_string(d) + ":" + std::to_string(k));
    }
    out.push_back(std::move(dict));
  }
  return out;
}

dicts::TDict toSlot(const OracleDict& d) {
  dicts::TDict slot;
  slot.FileName = d.fileName;
  slot.ShortTitle = d.shortTitle;
  slot.ItemList = dicts::TextLines(d.items);
  slot.IndexList = dicts::TextLines(d.locations);
  return slot;
}

void expectSame(const WordIndex& fast, const OracleIndex& oracle, const std::string& step) {
  SCOPED_TRACE(step);
  ASSERT_EQ(fast.slWord(), oracle.word);
  ASSERT_EQ(fast.slIndex(), oracle.index);
  ASSERT_EQ(fast.slKey().size(), oracle.key.size());
  for (size_t i = 0; i < oracle.key.size(); ++i) {
    ASSERT_EQ(fast.slKey()[i], sortKeyOf(oracle.key[i])) << i;
  }
  ASSERT_EQ(fast.Dicts().size(), oracle.dicts.size());
  for (size_t i = 0; i < oracle.dicts.size(); ++i) {
    EXPECT_EQ(fast.Dicts()[i].FileName, oracle.dicts[i].fileName) << i;
  }
}

class MergeMatchesOracle : public ::testing::TestWithParam<unsigned> {};

TEST_P(MergeMatchesOracle, InRandomInstallsAndRemovals) {
  WordMaker maker(GetParam());
  const std::vector<OracleDict> pool = makeDictionaries(maker, 12);
  WordIndex fast;
  OracleIndex oracle;
  size_t next = 0;
  for (int op = 0; op < 24; ++op) {
    std::vector<size_t> installed;
    for (size_t i = 0; i < oracle.dicts.size(); ++i) {
      if (!oracle.dicts[i].fileName.empty()) installed.push_back(i);
    }
    const bool remove = !installed.empty() && (next == pool.size() || maker.rng()() % 3 == 0);
    RecordingProgress fastProgress;
    RecordingProgress oracleProgress;
    std::string step;
    if (remove) {
      const size_t n = installed[maker.rng()() % installed.size()];
      step = "remove " + std::to_string(n);
      EXPECT_TRUE(fast.RemoveDict(n, fastProgress));
      oracle.remove(n, oracleProgress);
    } else if (next < pool.size()) {
      const OracleDict& d = pool[next++];
      step = "install " + d.fileName + " as " + std::to_string(oracle.dicts.size());
      fast.appendSlot(toSlot(d));
      oracle.dicts.push_back(d);
      fast.InstallDict(fast.Dicts().size() - 1, fastProgress);
      oracle.install(oracle.dicts.size() - 1, oracleProgress);
    } else {
      break;
    }
    expectSame(fast, oracle, step);
    EXPECT_EQ(fastProgress.events, oracleProgress.events) << step;
    if (::testing::Test::HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, MergeMatchesOracle, ::testing::Values(1U, 2U, 3U, 4U, 5U, 6U));

// A stored index, ordered and free of equal keys, loaded in a new run: the first merge builds the
// keys from it and must place every item where the one-by-one merge does.
TEST(MergeMatchesOracle, IntoAnIndexLoadedFromStorage) {
  WordMaker maker(77);
  const std::vector<OracleDict> pool = makeDictionaries(maker, 4);
  OracleIndex oracle;
  NoProgress none;
  for (size_t i = 0; i < 3; ++i) {
    oracle.dicts.push_back(pool[i]);
    oracle.install(i, none);
  }
  WordIndex fast;
  for (size_t i = 0; i < 3; ++i)
    fast.appendSlot(toSlot(pool[i]));
  fast.assignLists(oracle.word, oracle.index);
  oracle.key.clear();

  fast.appendSlot(toSlot(pool[3]));
  oracle.dicts.push_back(pool[3]);
  fast.InstallDict(3, none);
  oracle.install(3, none);
  expectSame(fast, oracle, "install into loaded");
}

// A dictionary large enough for its keys to be made on two cores, the halves joined: every item
// still lands where the one-by-one merge puts it, and the progress runs over every item in order.
TEST(MergeMatchesOracle, LargeDictionaryWhoseKeysAreMadeInTwoHalves) {
  WordMaker maker(91);
  std::vector<OracleDict> pool = makeDictionaries(maker, 2);
  OracleDict& large = pool[1];
  large.items.clear();
  large.locations.clear();
  for (size_t k = 0; k < 25001; ++k) {
    // Drawn from the first dictionary's words and new ones, so that both halves meet old words.
    large.items.push_back(k % 2 == 0 && !pool[0].items.empty()
                              ? maker.variant(pool[0].items[k % pool[0].items.size()])
                              : maker.base());
    large.locations.push_back("big:" + std::to_string(k));
  }
  WordIndex fast;
  OracleIndex oracle;
  RecordingProgress fastProgress;
  RecordingProgress oracleProgress;
  for (size_t i = 0; i < pool.size(); ++i) {
    fast.appendSlot(toSlot(pool[i]));
    oracle.dicts.push_back(pool[i]);
    fast.InstallDict(i, fastProgress);
    oracle.install(i, oracleProgress);
  }
  expectSame(fast, oracle, "install the large one");
  EXPECT_EQ(fastProgress.events, oracleProgress.events);
}

}  // namespace
}  // namespace verbalon::index
