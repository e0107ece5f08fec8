#include "article/advert.h"

#include <gtest/gtest.h>

#include "article/detail/fields.h"
#include "common/cp1251.h"

namespace verbalon::article {
namespace {

const char* const kPage = "<img src=\"%%IMAGE\">%%PID|%%AUTHOR|%%NAME|%%price|%%Name";

TEST(AdvertRandom, DrawsTheFixedSequenceFromStateZero) {
  AdvertRandom random;
  std::vector<uint32_t> draws;
  for (int i = 0; i < 6; ++i)
    draws.push_back(random.draw(100));
  EXPECT_EQ(draws, (std::vector<uint32_t>{0, 3, 86, 20, 27, 67}));
  // The states wrap around 2^32 from the third draw on; n = 0 still advances the state.
  AdvertRandom empty;
  EXPECT_EQ(empty.draw(0), 0u);
  EXPECT_EQ(empty.state(), 1u);
}

TEST(AdvertRandom, SkipGivesTheStateOfThatManyDrawsForAnyCount) {
  for (const uint64_t count : {0u, 1u, 2u, 7u, 1000u, 65537u}) {
    AdvertRandom drawn;
    for (uint64_t i = 0; i < count; ++i)
      drawn.draw(0);
    AdvertRandom skipped;
    skipped.skip(count);
    EXPECT_EQ(skipped.state(), drawn.state()) << count;
  }
  // The sequence comes round after 2^32 draws; the largest count the tool accepts returns at
  // once with the state of its remainder.
  AdvertRandom wrapped;
  wrapped.skip(AdvertRandom::kPeriod + 5);
  AdvertRandom five;
  five.skip(5);
  EXPECT_EQ(wrapped.state(), five.state());
  AdvertRandom largest;
  largest.skip(UINT64_MAX);
  AdvertRandom remainder;
  remainder.skip(UINT64_MAX % AdvertRandom::kPeriod);
  EXPECT_EQ(largest.state(), remainder.state());
  // A whole period leads back to the start.
  AdvertRandom period;
  period.skip(AdvertRandom::kPeriod - 1);
  period.draw(0);
  EXPECT_EQ(period.state(), 0u);
}

TEST(Advert, FillsEveryPlaceholderOfTheRecordInAnyCase) {
  Advert advert({cp1251::fromUtf8("7;12345;Author A.;Book B;b.gif;100 р.")});
  EXPECT_EQ(advert.FillAdvert(kPage), "<img src=\"advert\\b.gif\">12345|Author A.|Book B|" +
                                          cp1251::fromUtf8("100 р.") + "|Book B");
  Advert emptyField({"7;;A;B;b.gif;1;extra"});
  EXPECT_EQ(emptyField.FillAdvert(kPage), "<img src=\"advert\\b.gif\">|A|B|1|B");
}

TEST(Advert, TakesTheDrawnRecordDirectlyAndDrawsOncePerPage) {
  // With three records the draws are 0, 0, 2: the last record comes up.
  Advert advert({"0;p0;a;n;i;1", "1;p1;a;n;i;1", "2;p2;a;n;i;1"});
  EXPECT_EQ(advert.FillAdvert("%%PID"), "p0");
  EXPECT_EQ(advert.FillAdvert("no placeholders"), "no placeholders");
  EXPECT_EQ(advert.FillAdvert("%%PID"), "p2");

  Advert skipped({"0;p0;a;n;i;1", "1;p1;a;n;i;1", "2;p2;a;n;i;1"});
  skipped.skipDraws(2);
  EXPECT_EQ(skipped.FillAdvert("%%PID"), "p2");
}

TEST(Advert, ListThatCannotSupplyARecordGivesAnEmptyBlockAndStillDraws) {
  Advert none{StringList{}};
  EXPECT_EQ(none.FillAdvert(kPage), "<img src=\"\">||||");

  // Record 0 ends after field 4 (the text after its last ";" is no field); record 2 is whole.
  Advert shortRecord({"7;1;A;B;b.gif;", "x", "7;2;A;B;c.gif;5"});
  EXPECT_EQ(shortRecord.FillAdvert("%%PID%%IMAGE%%PRICE"), "");
  EXPECT_EQ(shortRecord.FillAdvert("%%PID"), "");
  EXPECT_EQ(shortRecord.FillAdvert("%%PID%%IMAGE%%PRICE"), "2advert\\c.gif5");
}

TEST(SplitFields, DropsOnlyTheEmptyTextAfterALastSeparator) {
  using Fields = std::vector<std::string_view>;
  EXPECT_EQ(detail::splitFields("a;;b;", ';'), (Fields{"a", "", "b"}));
  EXPECT_EQ(detail::splitFields("a;;", ';'), (Fields{"a", ""}));
  EXPECT_EQ(detail::splitFields(";", ';'), (Fields{""}));
  EXPECT_TRUE(detail::splitFields("", ';').empty());
}

}  // namespace
}  // namespace verbalon::article
