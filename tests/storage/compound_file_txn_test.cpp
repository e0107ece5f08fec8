// Transactions, crash safety and the cost of small updates.
//
// The crash tests run a sequence of writes in a child process whose N-th low-level write, sync
// or truncation ends it on the spot (the fault-injection hook), for N = 1, 2, ... until the
// sequence completes. After each death the file must open, pass the structure check that guards
// writing, and hold for every stream either the old or the new content.
#include <chrono>
#include <csignal>
#include <functional>
#include <map>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "compound_file_test_util.h"
#include "storage/compound_file.h"
#include "storage/detail/fault_injection.h"

namespace verbalon::storage {
namespace {

using testing::pattern;
using testing::putStream;
using testing::readAll;
using testing::readStream;
using testing::TempDir;

uint32_t codeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EStorageError& e) {
    return e.code();
  }
  return 0;
}

std::vector<std::byte> headerOf(const std::filesystem::path& path) {
  auto raw = testing::readFile(path);
  raw.resize(512);
  return raw;
}

TEST(CompoundFileTransaction, CommitsBecomeVisibleTogether) {
  TempDir dir;
  const auto path = dir / "a.cfb";
  {
    auto file = CompoundFile::create(path);
    putStream(file.root(), u"a", pattern(100, 1));
    putStream(file.root(), u"b", pattern(9000, 2));
  }
  auto file = CompoundFile::open(path);
  const auto header = headerOf(path);
  {
    auto txn = file.beginTransaction();
    putStream(file.root(), u"a", pattern(5000, 3));
    putStream(file.root(), u"b", pattern(10, 4));
    putStream(file.root().createStorage(u"st"), u"c", pattern(70, 5));
    // Nothing reaches the header before the transaction commits, but the handles see it all.
    EXPECT_EQ(headerOf(path), header);
    EXPECT_EQ(readStream(file.root(), u"a"), pattern(5000, 3));
    EXPECT_EQ(readStream(file.root().openStorage(u"st"), u"c"), pattern(70, 5));
    txn.commit();
  }
  EXPECT_NE(headerOf(path), header);
}

TEST(CompoundFileTransaction, RollbackRestoresFileAndHandles) {
  TempDir dir;
  const auto path = dir / "a.cfb";
  auto file = CompoundFile::create(path);
  putStream(file.root(), u"a", pattern(100, 1));
  Stream a = file.root().openStream(u"a");
  const auto header = headerOf(path);
  {
    auto txn = file.beginTransaction();
    Storage st = file.root().createStorage(u"st");
    Stream c = st.createStream(u"c");
    c.write(pattern(10, 2));
    c.commit();
    a.setSize(0);
    a.write(pattern(20000, 3));
    a.commit();
    EXPECT_EQ(a.size(), 20000u);
    // Destroyed without commit: everything goes back, and the handles of discarded elements
    // say so.
    auto dropped = std::move(txn);
    (void)dropped;
  }
  EXPECT_EQ(headerOf(path), header);
  EXPECT_EQ(readAll(a), pattern(100, 1));
  EXPECT_EQ(codeOf([&] { file.root().openStorage(u"st"); }), hresult::kFileNotFound);
  auto e = file.root().enumElements();
  EXPECT_EQ(e.next()->name, u"a");
  EXPECT_FALSE(e.next());
  // The file stays usable, and the rolled-back sectors are free again.
  const auto size = std::filesystem::file_size(path);
  for (int i = 0; i < 5; ++i) {
    auto txn = file.beginTransaction();
    putStream(file.root(), u"a", pattern(50000, 4));
  }
  putStream(file.root(), u"a", pattern(200, 5));
  EXPECT_LE(std::filesystem::file_size(path), size + 2048);
}

TEST(CompoundFileTransaction, HandlesOfDiscardedElementsAreReverted) {
  TempDir dir;
  auto file = CompoundFile::create(dir / "a.cfb");
  std::optional<Stream> s;
  std::optional<Storage> st;
  {
    auto txn = file.beginTransaction();
    st = file.root().createStorage(u"st");
    s = st->createStream(u"c");
  }
  EXPECT_EQ(codeOf([&] { s->write(pattern(5)); }), hresult::kReverted);
  EXPECT_EQ(codeOf([&] { s->commit(); }), hresult::kReverted);
  EXPECT_EQ(codeOf([&] { st->enumElements(); }), hresult::kReverted);
  // The slot they used goes to the next element; the old handles still refuse.
  file.root().createStream(u"x").commit();
  EXPECT_EQ(codeOf([&] { s->size(); }), hresult::kReverted);
}

TEST(CompoundFileTransaction, MisuseIsRefused) {
  TempDir dir;
  auto file = CompoundFile::create(dir / "a.cfb");
  auto txn = file.beginTransaction();
  EXPECT_EQ(codeOf([&] { file.beginTransaction(); }), hresult::kInvalidFunction);
  txn.commit();
  EXPECT_EQ(codeOf([&] { txn.commit(); }), hresult::kInvalidFunction);
  auto second = file.beginTransaction();  // a new one may begin after the first ended
  second.commit();
  { CompoundFile::create(dir / "b.cfb"); }
  auto ro = CompoundFile::open(dir / "b.cfb", Access::ReadOnly);
  EXPECT_EQ(codeOf([&] { ro.beginTransaction(); }), hresult::kAccessDenied);
}

// A full disk (here a file size limit) fails the commit with STG_E_MEDIUMFULL and leaves the file
// and the open handles as they were, ready for the next commit.
TEST(CompoundFileTransaction, FailedWritesLeaveFileAndHandlesAsTheyWere) {
  TempDir dir;
  const auto path = dir / "a.cfb";
  {
    auto file = CompoundFile::create(path);
    putStream(file.root(), u"a", pattern(100, 1));
    putStream(file.root(), u"b", pattern(6000, 2));
  }
  const auto before = testing::readFile(path);
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{before.size() + 4096, before.size() + 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    int failures = 0;
    const auto expect = [&](bool ok) { failures += ok ? 0 : 1; };
    auto file = CompoundFile::open(path);
    Stream b = file.root().openStream(u"b");
    b.write(pattern(100000, 3));
    expect(codeOf([&] { b.commit(); }) == hresult::kMediumFull);
    expect(readStream(file.root(), u"b") == pattern(6000, 2));
    {
      auto txn = file.beginTransaction();
      putStream(file.root(), u"a", pattern(200, 4));
      expect(codeOf([&] { putStream(file.root(), u"big", pattern(100000, 5)); }) ==
             hresult::kMediumFull);
      expect(codeOf([&] { txn.commit(); }) == hresult::kReverted);
    }
    expect(readStream(file.root(), u"a") == pattern(100, 1));
    expect(!file.root().find(u"big"));
    putStream(file.root(), u"a", pattern(300, 6));  // small enough to fit: works
    std::_Exit(failures);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "checks that failed in the child";
  auto file = CompoundFile::open(path);
  EXPECT_EQ(readStream(file.root(), u"a"), pattern(300, 6));
  EXPECT_EQ(readStream(file.root(), u"b"), pattern(6000, 2));
  { auto check = file.beginTransaction(); }
}

// --- Crash tests -----------------------------------------------------------------------------

namespace fs = std::filesystem;
using Content = std::map<std::string, std::vector<std::byte>>;  // UTF-8 path -> bytes

Content contentOf(const fs::path& path) {
  Content out;
  auto file = CompoundFile::open(path);
  { auto check = file.beginTransaction(); }  // runs the structure check that guards writing
  for (auto& item : testing::readTree(file)) {
    if (item.path.back() != '/') out[item.path] = std::move(item.data);
  }
  return out;
}

// Runs `action` on a copy of `base` in a child process that dies at its n-th low-level
// operation, for n = 1, 2, ... until the action completes. After every run the file must hold
// one of `states` (in order; the last is the completed one) and never go back to an earlier one
// than a previous run left. Returns the number of deaths.
int crashAtEveryStep(const fs::path& base, const std::function<void(const fs::path&)>& action,
                     const std::vector<Content>& states) {
  const fs::path work = base.parent_path() / "work.cfb";
  for (uint64_t n = 1; n < 1000; ++n) {
    fs::copy_file(base, work, fs::copy_options::overwrite_existing);
    const pid_t child = fork();
    if (child == 0) {
      int rc = 0;
      try {
        detail::skipSyncs(true);
        detail::armFault(n);
        action(work);
      } catch (...) {
        rc = 2;
      }
      std::_Exit(rc);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) {
      ADD_FAILURE() << "the child died of a signal at step " << n;
      return -1;
    }
    const int code = WEXITSTATUS(status);
    if (code != 0 && code != detail::kFaultExitCode) {
      ADD_FAILURE() << "the child failed at step " << n;
      return -1;
    }
    Content now;
    try {
      now = contentOf(work);
    } catch (const EStorageError& e) {
      ADD_FAILURE() << "after a crash at step " << n << ": " << e.what();
      return -1;
    }
    const auto match = std::find(states.begin(), states.end(), now);
    if (match == states.end()) {
      ADD_FAILURE() << "after a crash at step " << n << " the file holds a mix of states";
      return -1;
    }
    if (code == 0) {
      EXPECT_EQ(match, states.end() - 1) << "completed, but the file is not in the last state";
      std::printf("completed after %d deaths\n", static_cast<int>(n - 1));
      return static_cast<int>(n - 1);
    }
  }
  ADD_FAILURE() << "the action never completed";
  return -1;
}

void put(CompoundFile& file, const std::string& path, const std::vector<std::byte>& data) {
  Storage st = file.root();
  std::u16string name(path.begin(), path.end());
  const size_t slash = name.find(u'/');
  if (slash != std::u16string::npos) {
    const std::u16string dirName = name.substr(0, slash);
    st = st.find(dirName) ? st.openStorage(dirName) : st.createStorage(dirName);
    name = name.substr(slash + 1);
  }
  putStream(st, name, data);
}

fs::path makeBase(const TempDir& dir, const Content& content) {
  const fs::path base = dir / "base.cfb";
  auto file = CompoundFile::create(base);
  for (const auto& [path, data] : content)
    put(file, path, data);
  return base;
}

TEST(CompoundFileCrash, TransactionOfSeveralStreamsIsAllOrNothing) {
  TempDir dir;
  const Content before{{"a", pattern(100, 1)}, {"b", pattern(9000, 2)}, {"keep", pattern(5000, 9)}};
  Content after = before;
  after["a"] = pattern(3000, 3);     // stays in the mini stream
  after["b"] = pattern(20000, 4);    // regular, grows
  after["fresh"] = pattern(10, 6);   // new in the mini stream
  after["st/c"] = pattern(6000, 5);  // new storage and regular stream
  const auto base = makeBase(dir, before);
  const int deaths = crashAtEveryStep(base,
                                      [&](const fs::path& path) {
                                        auto file = CompoundFile::open(path);
                                        auto txn = file.beginTransaction();
                                        for (const auto& [name, data] : after) {
                                          if (before.count(name) == 0 || before.at(name) != data)
                                            put(file, name, data);
                                        }
                                        txn.commit();
                                      },
                                      {before, after});
  EXPECT_GT(deaths, 5);
}

TEST(CompoundFileCrash, EachCommitIsItsOwnAtomicUpdate) {
  TempDir dir;
  std::vector<Content> states{
      {{"s0", pattern(10, 1)}, {"s1", pattern(5000, 2)}, {"s2", pattern(700, 3)}}};
  const std::vector<std::pair<std::string, std::vector<std::byte>>> steps{{"s0", pattern(4000, 4)},
                                                                          {"s1", pattern(300, 5)},
                                                                          {"new", pattern(8000, 6)},
                                                                          {"s2", {}},
                                                                          {"s0", pattern(12, 7)}};
  for (const auto& [name, data] : steps) {
    states.push_back(states.back());
    states.back()[name] = data;
  }
  const auto base = makeBase(dir, states.front());
  EXPECT_GT(crashAtEveryStep(
                base,
                [&](const fs::path& path) {
                  auto file = CompoundFile::open(path);
                  for (const auto& [name, data] : steps)
                    put(file, name, data);
                },
                states),
            10);
}

TEST(CompoundFileCrash, StreamCrossingTheCutoffBothWays) {
  TempDir dir;
  const std::vector<size_t> sizes{4000, 4095, 4096, 4200, 100, 64, 5000};
  std::vector<Content> states;
  for (size_t i = 0; i < sizes.size(); ++i) {
    states.push_back({{"g", pattern(sizes[i], static_cast<unsigned>(i))}, {"x", pattern(50, 99)}});
  }
  const auto base = makeBase(dir, states.front());
  EXPECT_GT(crashAtEveryStep(
                base,
                [&](const fs::path& path) {
                  auto file = CompoundFile::open(path);
                  for (size_t i = 1; i < sizes.size(); ++i) {
                    put(file, "g", pattern(sizes[i], static_cast<unsigned>(i)));
                  }
                },
                states),
            10);
}

TEST(CompoundFileCrash, FileGrowingPast109FatSectorsGainsItsDifat) {
  TempDir dir;
  // 6.9 MB need about 106 FAT sectors; 400 KB more need over 109, so a DIFAT sector.
  const Content before{{"big", pattern(6'900'000, 1)}, {"small", pattern(100, 2)}};
  Content grown = before;
  grown["big"].resize(7'300'000, std::byte{0x42});
  Content after = grown;
  after["small"] = pattern(200, 3);
  const auto base = makeBase(dir, before);
  const int deaths = crashAtEveryStep(base,
                                      [&](const fs::path& path) {
                                        auto file = CompoundFile::open(path);
                                        Stream big = file.root().openStream(u"big");
                                        big.seek(6'900'000);
                                        big.write(std::vector<std::byte>(400'000, std::byte{0x42}));
                                        big.commit();
                                        put(file, "small", pattern(200, 3));
                                      },
                                      {before, grown, after});
  EXPECT_GT(deaths, 5);
  const auto header = headerOf(dir / "work.cfb");
  EXPECT_EQ(header[0x48], std::byte{1}) << "one DIFAT sector";
}

// --- Cost of small updates -------------------------------------------------------------------

TEST(CompoundFileCost, SmallUpdatesInABigFileWriteLittle) {
  TempDir dir;
  const auto path = dir / "big.cfb";
  {
    auto file = CompoundFile::create(path);
    putStream(file.root(), u"big", pattern(16'000'000, 1));
    for (int i = 0; i < 40; ++i) {
      const std::string n = "small" + std::to_string(i);
      putStream(file.root(), std::u16string(n.begin(), n.end()), pattern(300, 2));
    }
  }
  auto file = CompoundFile::open(path);
  Stream small = file.root().openStream(u"small7");
  small.write(pattern(200, 3));  // opened and written before measuring: reading costs nothing
  detail::armFault(0);
  small.commit();
  // The new mini sectors, the mini FAT sector, a directory sector, the FAT sectors that changed,
  // the header, and two syncs; never the 16 MB nor the whole 250-sector FAT.
  EXPECT_LE(detail::faultCount(), 10u);
  EXPECT_LE(detail::faultBytes(), 16u * 512);

  Stream big = file.root().openStream(u"big");
  big.seek(8'000'000);
  big.write(pattern(10, 4));
  detail::armFault(0);
  big.commit();
  EXPECT_LE(detail::faultBytes(), 8u * 512) << "one data sector and its bookkeeping";
  auto expected = pattern(16'000'000, 1);
  std::copy_n(pattern(10, 4).begin(), 10, expected.begin() + 8'000'000);
  EXPECT_EQ(readAll(big), expected);
}

// Each commit writes the stream to fresh sectors; the old ones become free once the header has
// moved on and must serve the next commit, or the file grows by a copy every time.
TEST(CompoundFileCost, RepeatedRewritesReuseTheSectorsTheyFreed) {
  TempDir dir;
  const auto path = dir / "history.cfb";
  auto file = CompoundFile::create(path);
  putStream(file.root(), u"bulk", pattern(1'000'000, 1));
  putStream(file.root(), u"history", pattern(20000, 2));
  putStream(file.root(), u"history", pattern(20000, 3));
  const auto size = std::filesystem::file_size(path);
  for (unsigned i = 0; i < 30; ++i)
    putStream(file.root(), u"history", pattern(20000, 4 + i));
  EXPECT_LE(std::filesystem::file_size(path), size + 2048);
  Stream history = file.root().openStream(u"history");
  EXPECT_EQ(readAll(history), pattern(20000, 33));
  Stream bulk = file.root().openStream(u"bulk");
  EXPECT_EQ(readAll(bulk), pattern(1'000'000, 1));
}

}  // namespace
}  // namespace verbalon::storage
