#include "import/source_text.h"

#include <gtest/gtest.h>

#include "import/import_error.h"
#include "import/source_files.h"
#include "storage/zlib_buffer.h"
#include "support/gzip.h"

namespace verbalon::import {
namespace {

using verbalon::testing::gzip;

TEST(SourceText, RepairsWhatIsNotUtf8) {
  EXPECT_TRUE(isValidUtf8("дом ə 日本 \xF0\x9F\x98\x80"));
  for (std::string_view bad :
       {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE0\x80", "\xFF"}) {
    EXPECT_FALSE(isValidUtf8(bad));
    EXPECT_EQ(repairUtf8(bad).substr(0, 3), "\xEF\xBF\xBD");
  }
  EXPECT_EQ(repairUtf8("a\xFF"
                       "b"),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(SourceText, DecodesUtf16AndLatin1) {
  EXPECT_EQ(utf8FromUtf16(std::string("\x34\x04\x3E\x04\x3C\x04", 6), false), "дом");
  EXPECT_EQ(utf8FromUtf16(std::string("\x04\x34\x04\x3E\x04\x3C\x00", 7), true), "дом");
  EXPECT_EQ(utf8FromUtf16(std::string("\x00\xD8\x41\x00", 4), false),
            "\xEF\xBF\xBD"
            "A");
  EXPECT_EQ(utf8FromLatin1("Stra\xDF"
                           "e"),
            "Straße");
}

TEST(SourceText, TurnsPlainTextIntoAnArticleFragment) {
  EXPECT_EQ(plainTextToHtml("word <b>\r\n  1. a & b\r\t2. \"c\"\n"),
            "word &lt;b&gt;\n\u00A0\u00A01. a &amp; b\n\u00A0\u00A0\u00A0\u00A02. &quot;c&quot;\n");
  EXPECT_EQ(lookupLink("дом 1", "дом"),
            "<a class=\"ref\" href=\"lookup:%D0%B4%D0%BE%D0%BC%201\">дом</a>");
}

TEST(SourceFiles, InflatesGzipOfOneOrSeveralMembers) {
  EXPECT_EQ(inflateGzip(gzip("hello ") + gzip("world"), "a.dz"), "hello world");
  EXPECT_EQ(inflateGzip(gzip(std::string(300000, 'z')), "a.dz").size(), 300000u);
  const std::string whole = gzip("some text that is long enough");
  EXPECT_THROW(inflateGzip(whole.substr(0, whole.size() - 9), "a.dz"), EImportError);
  EXPECT_THROW(inflateGzip("plain text", "a.dz"), EImportError);
  EXPECT_THROW(inflateGzip("", "a.dz"), EImportError);
  try {
    inflateGzip(gzip(std::string(1 << 20, 'z')), "bomb.dz", 1000);
    FAIL();
  } catch (const EImportError& e) {
    EXPECT_NE(std::string(e.what()).find("bomb.dz"), std::string::npos);
  }
}

TEST(SourceFiles, ReadsOnlyRegularFiles) {
  EXPECT_THROW(readSourceFile("/dev/zero"), EImportError);
  EXPECT_THROW(readSourceFile("/nonexistent/file.dsl"), EImportError);
}

}  // namespace
}  // namespace verbalon::import
