#include "storage/compound_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "compound_file_test_util.h"

namespace verbalon::storage {
namespace {

using testing::bytes;
using testing::pattern;
using testing::putStream;
using testing::readAll;
using testing::readStream;
using testing::TempDir;

uint32_t codeOf(const std::function<void()>& f, std::string* message = nullptr) {
  try {
    f();
  } catch (const EStorageError& e) {
    if (message) *message = e.what();
    return e.code();
  }
  return 0;
}

std::vector<std::u16string> names(const Storage& storage) {
  std::vector<std::u16string> out;
  auto e = storage.enumElements();
  while (auto info = e.next())
    out.push_back(info->name);
  return out;
}

std::u16string nameOf(size_t n) {
  const std::string digits = "s" + std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

TEST(CompoundFile, CreatesMinimalVersion3File) {
  TempDir dir;
  { CompoundFile::create(dir / "a.cfb"); }
  const auto raw = testing::readFile(dir / "a.cfb");
  ASSERT_EQ(raw.size(), 1536u);  // header, one directory sector, one FAT sector
  EXPECT_EQ(raw[0x18], std::byte{0x3E});
  EXPECT_EQ(raw[0x1A], std::byte{3});
  auto file = CompoundFile::open(dir / "a.cfb");
  EXPECT_TRUE(names(file.root()).empty());
  EXPECT_EQ(file.root().name(), u"Root Entry");
}

TEST(CompoundFile, StreamsOfEverySizeClassRoundTrip) {
  TempDir dir;
  const std::vector<size_t> sizes{0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 70000};
  {
    auto file = CompoundFile::create(dir / "a.cfb");
    for (size_t n : sizes)
      putStream(file.root(), nameOf(n), pattern(n, static_cast<unsigned>(n)));
  }
  auto file = CompoundFile::open(dir / "a.cfb", Access::ReadOnly);
  for (size_t n : sizes) {
    EXPECT_EQ(readStream(file.root(), nameOf(n)), pattern(n, static_cast<unsigned>(n))) << n;
  }
  EXPECT_EQ(std::filesystem::file_size(dir / "a.cfb") % 512, 0u);
}

TEST(CompoundFile, NestedStoragesAndCyrillicNames) {
  TempDir dir;
  {
    auto file = CompoundFile::create(dir / "a.cfb");
    Storage t = file.root().createStorage(u"templates");
    Storage d = t.createStorage(u"Словарь");
    putStream(d, u"статья", bytes("text"));
    putStream(t, u"default.html", bytes("<html>"));
  }
  auto file = CompoundFile::open(dir / "a.cfb");
  Storage d = file.root().openStorage(u"TEMPLATES").openStorage(u"СЛОВАРЬ");
  EXPECT_EQ(readStream(d, u"СТАТЬЯ"), bytes("text"));
  EXPECT_EQ(readStream(file.root().openStorage(u"templates"), u"Default.HTML"), bytes("<html>"));
}

TEST(CompoundFile, EnumeratesShorterNamesFirstThenByUpperCase) {
  TempDir dir;
  auto file = CompoundFile::create(dir / "a.cfb");
  for (auto n : {u"bb", u"a", u"Ab", u"c", u"ёж", u"Яд", u"ccc"}) {
    file.root().createStream(n).commit();
  }
  EXPECT_EQ(names(file.root()),
            (std::vector<std::u16string>{u"a", u"c", u"Ab", u"bb", u"ёж", u"Яд", u"ccc"}));
}

TEST(CompoundFile, ReportsMissingAndDuplicateElements) {
  TempDir dir;
  auto file = CompoundFile::create(dir / "words.brd");
  file.root().createStorage(u"store");
  putStream(file.root(), u"items", bytes("x"));
  std::string msg;
  EXPECT_EQ(codeOf([&] { file.root().openStream(u"nothing"); }, &msg), hresult::kFileNotFound);
  EXPECT_NE(msg.find("words.brd"), std::string::npos) << msg;
  EXPECT_NE(msg.find("STG_E_FILENOTFOUND"), std::string::npos) << msg;
  EXPECT_EQ(codeOf([&] { file.root().openStream(u"store"); }), hresult::kFileNotFound);
  EXPECT_EQ(codeOf([&] { file.root().openStorage(u"items"); }), hresult::kFileNotFound);
  EXPECT_EQ(codeOf([&] { file.root().createStream(u"ITEMS"); }), hresult::kFileAlreadyExists);
  EXPECT_EQ(codeOf([&] { file.root().createStorage(u"Store"); }), hresult::kFileAlreadyExists);
  for (auto bad : {u"", u"a/b", u"a\\b", u"a:b", u"a!", u"0123456789012345678901234567890X"}) {
    EXPECT_EQ(codeOf([&] { file.root().createStream(bad); }), hresult::kInvalidName);
  }
  EXPECT_EQ(codeOf([&] { file.root().createStream(u"0123456789012345678901234567890"); }), 0u);
}

TEST(CompoundFile, StreamReadWriteSeekSetSize) {
  TempDir dir;
  auto file = CompoundFile::create(dir / "a.cfb");
  Stream s = file.root().createStream(u"s");
  EXPECT_EQ(s.write(bytes("hello world")), 11u);
  s.seek(6);
  s.write(bytes("WORLD!"));
  EXPECT_EQ(s.size(), 12u);
  s.seek(20);
  s.write(bytes("z"));  // the gap reads as zeros
  EXPECT_EQ(readAll(s), bytes(std::string("hello WORLD!") + std::string(8, '\0') + "z"));
  s.setSize(5);
  s.setSize(8);  // growing after a shrink shows zeros, not the old bytes
  EXPECT_EQ(readAll(s), bytes(std::string("hello") + std::string(3, '\0')));
  s.commit();
  EXPECT_EQ(readStream(file.root(), u"s"), bytes(std::string("hello") + std::string(3, '\0')));
  std::array<std::byte, 4> buf{};
  s.seek(100);
  EXPECT_EQ(s.read(buf), 0u);
}

TEST(CompoundFile, ShrinkingAndGrowingAcrossTheCutoffKeepsContent) {
  TempDir dir;
  const auto big = pattern(10000, 3);
  {
    auto file = CompoundFile::create(dir / "a.cfb");
    putStream(file.root(), u"s", big);
    Stream s = file.root().openStream(u"s");
    s.setSize(100);  // moves into the mini stream
    s.commit();
  }
  {
    auto file = CompoundFile::open(dir / "a.cfb");
    EXPECT_EQ(readStream(file.root(), u"s"),
              std::vector<std::byte>(big.begin(), big.begin() + 100));
    Stream s = file.root().openStream(u"s");
    s.seek(5000);
    s.write(bytes("end"));  // back out of the mini stream, zeros between
    s.commit();
  }
  auto file = CompoundFile::open(dir / "a.cfb");
  auto expect = std::vector<std::byte>(big.begin(), big.begin() + 100);
  expect.resize(5000);
  for (auto b : bytes("end"))
    expect.push_back(b);
  EXPECT_EQ(readStream(file.root(), u"s"), expect);
}

TEST(CompoundFile, UncommittedWritesLeaveTheFileUnchanged) {
  TempDir dir;
  {
    auto file = CompoundFile::create(dir / "a.cfb");
    putStream(file.root(), u"s", bytes("old"));
    Stream s = file.root().openStream(u"s");
    s.write(bytes("new content"));
    EXPECT_EQ(readAll(s), bytes("new content"));
    // Released without commit.
  }
  auto file = CompoundFile::open(dir / "a.cfb");
  EXPECT_EQ(readStream(file.root(), u"s"), bytes("old"));
}

TEST(CompoundFile, SecondOpenerGetsShareViolation) {
  TempDir dir;
  auto file = CompoundFile::create(dir / "words.brd");
  std::string msg;
  EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "words.brd"); }, &msg), hresult::kShareViolation);
  EXPECT_NE(msg.find("words.brd: the file is in use"), std::string::npos) << msg;
  EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "words.brd", Access::ReadOnly); }),
            hresult::kShareViolation);

  // Another process meets the same lock.
  const pid_t child = fork();
  if (child == 0) {
    const uint32_t code = codeOf([&] { CompoundFile::open(dir / "words.brd"); });
    std::_Exit(code == hresult::kShareViolation ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(CompoundFile, ReadersShareButExcludeWriters) {
  TempDir dir;
  { CompoundFile::create(dir / "a.cfb"); }
  auto r1 = CompoundFile::open(dir / "a.cfb", Access::ReadOnly);
  auto r2 = CompoundFile::open(dir / "a.cfb", Access::ReadOnly);
  EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "a.cfb"); }), hresult::kShareViolation);
  EXPECT_EQ(codeOf([&] { r1.root().createStream(u"x"); }), hresult::kAccessDenied);
}

TEST(CompoundFile, MapsOpenErrorsToWindowsCodes) {
  TempDir dir;
  EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "missing.brd"); }), hresult::kFileNotFound);
  EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "nofolder" / "x.brd"); }),
            hresult::kPathNotFound);
  testing::writeFile(dir / "text.brd", bytes(std::string(2000, 'x')));
  std::string msg;
  EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "text.brd"); }, &msg),
            hresult::kFileAlreadyExists);
  EXPECT_NE(msg.find("text.brd: not a compound file"), std::string::npos) << msg;
  testing::writeFile(dir / "short.brd", bytes("\xD0\xCF\x11\xE0"));
  EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "short.brd"); }), hresult::kFileAlreadyExists);
  { CompoundFile::create(dir / "a.cfb"); }
  EXPECT_EQ(codeOf([&] { CompoundFile::create(dir / "a.cfb"); }), hresult::kFileAlreadyExists);
  if (::geteuid() != 0) {
    std::filesystem::permissions(dir / "a.cfb", std::filesystem::perms::owner_read);
    EXPECT_EQ(codeOf([&] { CompoundFile::open(dir / "a.cfb"); }), hresult::kAccessDenied);
  }
}

}  // namespace
}  // namespace verbalon::storage
