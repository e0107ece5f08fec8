#include "session/session.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/cp1251.h"
#include "index/install_progress.h"
#include "storage/compound_file.h"
#include "storage/storage.h"
#include "storage/zlib_buffer.h"
#include "support/app_folder.h"
#include "support/package_builder.h"

namespace verbalon::session {
namespace {

std::string w(const char* utf8) {
  return cp1251::fromUtf8(utf8);
}

// Two dictionaries that share the word «дом»; the second one's item stream is damaged after it
// was installed, as a disk or a copy can damage it.
class BrokenDictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    addPackage("good.brd", "Title=Хороший\r\nviewcontrol=MEMO", w("дом у реки"));
    addPackage("bad.brd", "Title=Битый\r\nviewcontrol=MEMO", w("дом в лесу"));
    m_app.install({"good.brd", "bad.brd"});
    storage::CompoundFile bad = storage::CompoundFile::open(m_app.dataDir() / "bad.brd");
    storage::WriteStream(bad, "art", "\x78\xDA garbage, not deflate data", false);
  }

  void addPackage(const std::string& name, const std::string& ini, const std::string& article) {
    testing::Streams streams = testing::dictStreams(ini, {"дом"}, {"art:0"});
    streams["art"] = article;
    testing::writePackage(m_app.dataDir() / name, streams);
  }

  testing::AppFolder m_app;
};

TEST_F(BrokenDictionary, PageKeepsTheOtherFragmentAndReportsThePackageOncePerRun) {
  auto run = std::make_unique<Session>(m_app.path());
  run->LoadIndex();
  const std::optional<size_t> word = run->findWord(w("дом"));
  ASSERT_TRUE(word.has_value());

  for (bool cached : {true, false}) {
    const std::string page = run->page(*word, 600, cached);
    EXPECT_NE(page.find(w("дом у реки")), std::string::npos);
    EXPECT_EQ(page.find(w("дом в лесу")), std::string::npos);
    EXPECT_NE(page.find(w("Словарь «Битый»: статья не показана — файл bad.brd повреждён.")),
              std::string::npos)
        << cp1251::toUtf8(page);
  }
  // Both pages failed on the same package: it is reported after the first only.
  const std::vector<article::BrokenPart> broken = run->takeNewlyBroken();
  ASSERT_EQ(broken.size(), 1U);
  EXPECT_EQ(broken[0].dict, 1U);
  try {
    std::rethrow_exception(broken[0].error);
  } catch (const storage::EDecompressionError& e) {
    EXPECT_EQ(e.file(), "bad.brd");
    EXPECT_EQ(e.stream(), "art");
  }
  run->page(*word, 600);
  EXPECT_TRUE(run->takeNewlyBroken().empty());

  // A new run reports it again.
  run.reset();
  Session next(m_app.path());
  next.LoadIndex();
  next.page(*word, 600);
  EXPECT_EQ(next.takeNewlyBroken().size(), 1U);
}

}  // namespace
}  // namespace verbalon::session
