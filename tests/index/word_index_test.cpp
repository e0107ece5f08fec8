#include "index/word_index.h"

#include <gtest/gtest.h>

#include "index/index_error.h"
#include "index/normalize.h"
#include "recording_progress.h"
#include "test_words.h"

namespace verbalon::index {
namespace {

using testing::makeDict;
using testing::RecordingProgress;
using testing::u;
using testing::us;
using testing::w;
using testing::ws;
using Lines = std::vector<std::string>;

StringList numbered(size_t count) {
  StringList items;
  for (size_t i = 0; i < count; ++i)
    items.push_back("w" + std::to_string(100000 + i));
  return items;
}

void install(WordIndex& index, dicts::TDict dict) {
  index.appendSlot(std::move(dict));
  NoProgress none;
  index.InstallDict(index.Dicts().size() - 1, none);
}

void expectKeysInStep(const WordIndex& index) {
  ASSERT_EQ(index.slKey().size(), index.slWord().size());
  for (size_t i = 0; i < index.slWord().size(); ++i) {
    EXPECT_EQ(index.slKey()[i], sortKeyOf(index.slWord()[i])) << i;
    if (i > 0) {
      EXPECT_LT(index.slKey()[i - 1], index.slKey()[i]) << i;
    }
  }
}

TEST(InstallDict, IntoEmptyIndexSeedsFirstItemWithoutProgressStep) {
  WordIndex index;
  index.appendSlot(makeDict("a.brd", numbered(250)));
  RecordingProgress progress;
  index.InstallDict(0, progress);
  EXPECT_EQ(progress.only("counter"), (Lines{"100 из 249", "200 из 249"}));
  const Lines expectedStart = {
      "status Подготовка к установке...",  "show",       "progress 0",         "max 2",
      "status Установка словаря: T-a.brd", "progress 1", "counter 100 из 249", "messages"};
  ASSERT_GE(progress.events.size(), expectedStart.size());
  EXPECT_EQ(Lines(progress.events.begin(), progress.events.begin() + 8), expectedStart);
  EXPECT_EQ(progress.events.back(), "hide");
  EXPECT_EQ(index.slWord().size(), 250U);
  EXPECT_EQ(index.slIndex()[0], "0:s:0");
}

TEST(InstallDict, IntoNonEmptyIndexCountsFromZero) {
  WordIndex index;
  install(index, makeDict("a.brd", ws({"дом"})));
  index.appendSlot(makeDict("b.brd", numbered(250)));
  RecordingProgress progress;
  index.InstallDict(1, progress);
  EXPECT_EQ(progress.only("counter"), (Lines{"0 из 249", "100 из 249", "200 из 249"}));
  // The steps run past the maximum of 2; the gauge shows them as full.
  EXPECT_EQ(progress.only("progress"), (Lines{"0", "1", "2", "3"}));
  EXPECT_EQ(progress.only("max"), (Lines{"2"}));
  EXPECT_EQ(index.slWord().size(), 251U);
}

TEST(InstallDict, GaugeMaximumIsZeroUpToOneHundredItems) {
  for (size_t count : {1U, 100U, 101U, 102U}) {
    WordIndex index;
    index.appendSlot(makeDict("a.brd", numbered(count)));
    RecordingProgress progress;
    index.InstallDict(0, progress);
    EXPECT_EQ(progress.only("max"), (Lines{count > 100 ? "1" : "0"})) << count;
  }
}

TEST(InstallDict, EmptyDictionaryIntoEmptyIndexMergesNothing) {
  WordIndex index;
  index.appendSlot(makeDict("e.brd", {}));
  RecordingProgress progress;
  index.InstallDict(0, progress);
  EXPECT_TRUE(index.slWord().empty());
  EXPECT_TRUE(index.slIndex().empty());
  EXPECT_EQ(index.Dicts().size(), 1U);
  EXPECT_EQ(progress.events, (Lines{"status Подготовка к установке...", "show", "progress 0",
                                    "max 0", "status Установка словаря: T-e.brd", "hide"}));
}

TEST(InstallDict, SpellingsOfOneKeyShareALineWithFirstDisplayForm) {
  WordIndex index;
  install(index, makeDict("a.brd", ws({"елка", "Ёлка", "ёж"}), {"p:0", "p:1", "p:2"}));
  install(index, makeDict("b.brd", ws({"ЕЛКА", "еж", "ел-ка"}), {"q:0", "q:1", "q:2"}));
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"ёж", "елка"}));
  EXPECT_EQ(index.slIndex(), (Lines{"0:p:2|1:q:1", "0:p:0|0:p:1|1:q:0|1:q:2"}));
  expectKeysInStep(index);
}

TEST(InstallDict, RefusesBadSlotsAndMismatchedListsChangingNothing) {
  WordIndex index;
  install(index, makeDict("a.brd", ws({"дом"})));
  NoProgress none;
  EXPECT_THROW(index.InstallDict(1, none), EIndexError);
  index.appendSlot(makeDict("b.brd", ws({"кот", "пёс"}), {"x:0"}));
  try {
    index.InstallDict(1, none);
    FAIL() << "no error";
  } catch (const EIndexError& e) {
    EXPECT_EQ(std::string(e.what()), "b.brd: 2 items but 1 article locations");
  }
  index.appendSlot(makeDict("c.brd", ws({"кот"})));
  EXPECT_THROW(index.InstallDict(1, none), EIndexError);  // not the last slot
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"дом"}));
  EXPECT_EQ(index.slIndex(), (Lines{"0:s:0"}));
}

TEST(InstallDict, RefusesLocationsOutsideTheEntryFormatChangingNothing) {
  WordIndex index;
  install(index, makeDict("a.brd", ws({"дом"})));
  NoProgress none;
  for (const char* location : {"x:1|0:y:2", "x:y:1", "x:01x", "x"}) {
    index.appendSlot(makeDict("b.brd", ws({"дом", "кот"}), {"x:0", location}));
    try {
      index.InstallDict(1, none);
      FAIL() << "accepted " << location;
    } catch (const EIndexError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(
                    "b.brd: article location 1, '" + std::string(location) + "', ", 0),
                0U)
          << e.what();
    }
    EXPECT_TRUE(index.RemoveDict(1, none));
  }
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"дом"}));
  EXPECT_EQ(index.slIndex(), (Lines{"0:s:0"}));
}

TEST(InstallDict, GivesAWordStoredWithAnEmptyEntryItsPartWithoutABar) {
  WordIndex index;
  index.appendSlot(makeDict("a.brd", {}));
  index.assignLists(ws({"дом", "кот"}), {"", "0:s:1"});
  install(index, makeDict("b.brd", ws({"дом", "кот"})));
  EXPECT_EQ(index.slIndex(), (Lines{"1:s:0", "0:s:1|1:s:1"}));
}

// The first merge of a run would put the stored lists in order and build the keys; refused
// late (here by the size limit), it leaves them exactly as loaded.
TEST(InstallDict, RefusedFirstMergeLeavesAStoredListUnsortedAndKeysUnbuilt) {
  WordIndex index;
  index.appendSlot(makeDict("a.brd", {}));
  const Lines words = {w("кот"), w("дом"), w("Дом")};
  const Lines entries = {"0:a:0", "0:a:1", "0:a:2"};
  index.assignLists(words, entries);
  index.setStoredListLimit(40);
  index.appendSlot(makeDict("b.brd", numbered(5)));
  NoProgress none;
  EXPECT_THROW(index.InstallDict(1, none), EIndexError);
  EXPECT_EQ(index.slWord(), words);
  EXPECT_EQ(index.slIndex(), entries);
  EXPECT_TRUE(index.slKey().empty());
  index.setStoredListLimit(kStoredListLimit);
  index.InstallDict(1, none);
  EXPECT_EQ(index.slWord().size(), 7U);
  expectKeysInStep(index);
}

TEST(InstallDict, PutsAListOrderedByAnotherComparisonInOrderFirst) {
  WordIndex index;
  index.appendSlot(makeDict("a.brd", ws({"x"})));
  index.appendSlot(makeDict("b.brd", ws({"x"})));
  // As another program might have saved it: bytewise order, and keys that ours finds equal.
  index.assignLists(ws({"Дом", "ЁЖ", "дом", "ель", "ёж", "еж"}),
                    {"0:a:1", "0:a:2", "1:b:1", "0:a:3", "1:b:2", "0:a:4"});
  install(index, makeDict("c.brd", ws({"еж", "кот"}), {"c:0", "c:1"}));
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"Дом", "ЁЖ", "ель", "кот"}));
  EXPECT_EQ(index.slIndex(), (Lines{"0:a:1|1:b:1", "0:a:2|1:b:2|0:a:4|2:c:0", "0:a:3", "2:c:1"}));
  expectKeysInStep(index);
}

TEST(InstallDict, RefusesASecondMergeStartedWhileMessagesRun) {
  WordIndex index;
  install(index, makeDict("a.brd", ws({"дом"})));
  index.appendSlot(makeDict("b.brd", numbered(5)));
  RecordingProgress progress;
  bool refused = false;
  NoProgress none;
  progress.onMessages = [&] {
    try {
      index.RemoveDict(0, none);
    } catch (const EIndexError&) {
      refused = true;
    }
  };
  index.InstallDict(1, progress);
  EXPECT_TRUE(refused);
  EXPECT_EQ(index.slWord().size(), 6U);
  EXPECT_EQ(index.Dicts().size(), 2U);
}

TEST(RemoveDict, TakesOutPartsAndDeletesWordsLeftWithout) {
  WordIndex index;
  install(index, makeDict("d0.brd", ws({"кот", "дом"}), {"a:0", "a:1"}));
  install(index, makeDict("d1.brd", ws({"лес"}), {"b:0"}));
  install(index, makeDict("d2.brd", ws({"Кот", "сад"}), {"c:0", "c:1"}));
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"дом", "кот", "лес", "сад"}));
  EXPECT_EQ(index.slIndex()[1], "0:a:0|2:c:0");

  RecordingProgress progress;
  EXPECT_TRUE(index.RemoveDict(2, progress));
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"дом", "кот", "лес"}));
  EXPECT_EQ(index.slIndex(), (Lines{"0:a:1", "0:a:0", "1:b:0"}));
  expectKeysInStep(index);
  EXPECT_EQ(progress.events,
            (Lines{"status Подготовка к удалению...", "status Удаление словаря: T-d2.brd", "show",
                   "progress 0", "max 3", "progress 1", "messages", "progress 2", "messages",
                   "progress 3", "messages", "progress 4", "messages", "hide", "progress 0"}));
  ASSERT_EQ(index.Dicts().size(), 2U);  // the last slot goes

  EXPECT_TRUE(index.RemoveDict(0, progress));
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"лес"}));
  EXPECT_EQ(index.slIndex(), (Lines{"1:b:0"}));
  expectKeysInStep(index);
  ASSERT_EQ(index.Dicts().size(), 2U);  // slot 0 stays as a hole
  EXPECT_TRUE(index.Dicts()[0].isEmptySlot());
  EXPECT_TRUE(index.Dicts()[0].ItemList.empty());
}

TEST(RemoveDict, LeavesPartsOfSimilarNumbersAlone) {
  WordIndex index;
  index.assignLists(ws({"а", "б", "в"}), {"11:x:1|1:y:2|21:z:3", "12:q:0", "1:r:0|1:r:1"});
  for (int i = 0; i < 22; ++i)
    index.appendSlot(makeDict("d" + std::to_string(i) + ".brd", {}));
  NoProgress none;
  EXPECT_TRUE(index.RemoveDict(1, none));
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"а", "б"}));
  EXPECT_EQ(index.slIndex(), (Lines{"11:x:1|21:z:3", "12:q:0"}));
  EXPECT_TRUE(index.slKey().empty());  // never built in this run, and not built by a removal
}

TEST(RemoveDict, HoleKeepsNumbersAndLastSlotIsReused) {
  WordIndex index;
  for (const char* name : {"a.brd", "b.brd", "c.brd"})
    install(index, makeDict(name, ws({"дом"})));
  NoProgress none;
  WordIndex other;
  for (const char* name : {"a.brd", "b.brd", "c.brd"})
    install(other, makeDict(name, ws({"дом"})));

  index.RemoveDict(1, none);
  install(index, makeDict("d.brd", ws({"дом"})));
  EXPECT_EQ(index.Dicts().size(), 4U);
  EXPECT_EQ(index.slIndex(), (Lines{"0:s:0|2:s:0|3:s:0"}));

  other.RemoveDict(2, none);
  install(other, makeDict("d.brd", ws({"дом"})));
  EXPECT_EQ(other.Dicts().size(), 3U);
  EXPECT_EQ(other.Dicts()[2].FileName, "d.brd");
  EXPECT_EQ(other.slIndex(), (Lines{"0:s:0|1:s:0|2:s:0"}));
}

TEST(RemoveDict, HoleOrMissingSlotChangesNothing) {
  WordIndex index;
  NoProgress none;
  EXPECT_FALSE(index.RemoveDict(0, none));  // empty index, no slots
  install(index, makeDict("a.brd", ws({"дом"})));
  install(index, makeDict("b.brd", ws({"кот"})));
  index.RemoveDict(0, none);
  RecordingProgress progress;
  EXPECT_FALSE(index.RemoveDict(0, progress));
  EXPECT_FALSE(index.RemoveDict(7, progress));
  EXPECT_TRUE(progress.events.empty());
  EXPECT_EQ(index.Dicts().size(), 2U);
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"кот"}));
}

TEST(RemoveDict, DictionaryWithoutWordsIsRemovedFromEmptyIndex) {
  WordIndex index;
  install(index, makeDict("e.brd", {}));
  RecordingProgress progress;
  EXPECT_TRUE(index.RemoveDict(0, progress));
  EXPECT_TRUE(index.Dicts().empty());
  EXPECT_EQ(progress.only("max"), (Lines{"0"}));
}

TEST(RemoveDict, ErrorPartWayKeepsListsAlignedAndResetsGauge) {
  WordIndex index;
  install(index, makeDict("a.brd", ws({"а", "б", "в", "г"})));
  install(index, makeDict("b.brd", ws({"б", "г"})));
  RecordingProgress progress;
  int calls = 0;
  progress.onMessages = [&] {
    if (++calls == 3) throw std::runtime_error("window closed");
  };
  EXPECT_THROW(index.RemoveDict(0, progress), std::runtime_error);
  // Entries 0..2 were processed ("а" went, "б" lost its part of 0); "г" was not reached.
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"б", "г"}));
  EXPECT_EQ(index.slIndex(), (Lines{"1:s:0", "0:s:3|1:s:1"}));
  expectKeysInStep(index);
  EXPECT_EQ(Lines(progress.events.end() - 2, progress.events.end()), (Lines{"hide", "progress 0"}));
  EXPECT_EQ(index.Dicts()[0].FileName, "a.brd");  // not freed
}

// The window repaints between entries: it must never meet a word whose entry is half rebuilt.
TEST(RemoveDict, WindowSeesTheIndexAsItWasUntilTheEnd) {
  WordIndex index;
  install(index, makeDict("a.brd", ws({"а", "б", "в"})));
  install(index, makeDict("b.brd", ws({"б"})));
  const Lines words = us(index.slWord());
  const StringList entries = index.slIndex().toStringList();
  RecordingProgress progress;
  int seen = 0;
  progress.onMessages = [&] {
    ++seen;
    EXPECT_EQ(us(index.slWord()), words);
    EXPECT_EQ(index.slIndex(), entries);
  };
  EXPECT_TRUE(index.RemoveDict(0, progress));
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(us(index.slWord()), (Lines{"б"}));
  EXPECT_EQ(index.slIndex(), (Lines{"1:s:0"}));
}

TEST(RemoveDict, ReadsEntriesByTheFormatAndStopsAtAMalformedOne) {
  WordIndex index;
  for (const char* name : {"a.brd", "b.brd"})
    index.appendSlot(makeDict(name, {}));
  // "00" is no number of dictionary 0, so that part is no part of 0; a removal reads only the
  // entries that have a part of its dictionary.
  index.assignLists(ws({"а", "б", "в", "г"}), {"0:s:0|1:s:0", "00:s:1|1:s:1", "1:s:2|", "0:s:3"});
  NoProgress none;
  EXPECT_TRUE(index.RemoveDict(0, none));
  EXPECT_EQ(index.slIndex(), (Lines{"1:s:0", "00:s:1|1:s:1", "1:s:2|"}));
  try {
    index.RemoveDict(1, none);
    FAIL() << "no error";
  } catch (const EIndexError& e) {
    EXPECT_EQ(std::string(e.what()),
              "the index entry of 'б' is malformed: its part 1, '00:s:1', has a leading zero in "
              "its dictionary number");
  }
  // As after any error part way: what was processed stays processed, the slot is not freed.
  EXPECT_EQ(us(index.slWord().toStringList()), (Lines{"б", "в"}));
  EXPECT_EQ(index.slIndex(), (Lines{"00:s:1|1:s:1", "1:s:2|"}));
  EXPECT_EQ(index.Dicts()[1].FileName, "b.brd");
}

}  // namespace
}  // namespace verbalon::index
