#include "dirscan/file_time.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "dirscan/dirscan_error.h"

namespace verbalon::dirscan {
namespace {

// Runs a test under a given TZ setting and puts the old one back afterwards. POSIX zone strings
// are used so that the tests need no time-zone database.
class FileTimeToDateTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TZ")) m_oldTz = old;
  }
  void TearDown() override {
    if (m_oldTz) {
      setenv("TZ", m_oldTz->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void useZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  std::optional<std::string> m_oldTz;
};

constexpr std::int64_t kDay = 86'400;
constexpr double kMillisecond = 1.0 / 86'400'000;

TEST_F(FileTimeToDateTimeTest, CountsDaysFrom30December1899WithTimeOfDayAsFraction) {
  useZone("UTC0");
  EXPECT_EQ(FileTimeToDateTime({0, 0}), 25569.0);  // 1 January 1970
  EXPECT_EQ(FileTimeToDateTime({-25569 * kDay, 0}), 0.0);
  EXPECT_EQ(FileTimeToDateTime({10957 * kDay + kDay / 2, 0}), 36526.5);  // 1 January 2000, noon
  EXPECT_EQ(FileTimeToDateTime({10957 * kDay + kDay / 4, 0}), 36526.25);
}

TEST_F(FileTimeToDateTimeTest, KeepsMillisecondsAndDropsTheRest) {
  useZone("UTC0");
  EXPECT_NEAR(FileTimeToDateTime({0, 999'999'999}), 25569.0 + 999 * kMillisecond, 1e-10);
  EXPECT_EQ(FileTimeToDateTime({0, 999'999}), 25569.0);
  EXPECT_NEAR(FileTimeToDateTime({1, 500'000'000}), 25569.0 + 1500 * kMillisecond, 1e-10);
}

TEST_F(FileTimeToDateTimeTest, MomentsBefore1899AddAPositiveTimeOfDay) {
  useZone("UTC0");
  // 29 December 1899, 06:00: day -1, a quarter day later.
  EXPECT_EQ(FileTimeToDateTime({-25570 * kDay + kDay / 4, 0}), -0.75);
  // Before 1970 the nanoseconds still count forwards from the second.
  EXPECT_NEAR(FileTimeToDateTime({-1, 250'000'000}), 25569.0 - 750 * kMillisecond, 1e-10);
}

TEST_F(FileTimeToDateTimeTest, ConvertsToLocalTime) {
  useZone("MSK-3");
  EXPECT_EQ(FileTimeToDateTime({0, 0}), 25569.125);
  // 23:00 UTC is already the next day three hours east.
  EXPECT_EQ(FileTimeToDateTime({kDay - 3600, 0}), 25570.0 + 2.0 / 24);
}

TEST_F(FileTimeToDateTimeTest, UsesTheOffsetInForceAtThatMoment) {
  useZone("CET-1CEST,M3.5.0,M10.5.0/3");
  const std::int64_t jan15 = 19372 * kDay;  // 15 January 2023, 00:00 UTC
  const std::int64_t jul15 = 19553 * kDay;  // 15 July 2023, 00:00 UTC
  EXPECT_EQ(FileTimeToDateTime({jan15, 0}), 44941.0 + 1.0 / 24);
  EXPECT_EQ(FileTimeToDateTime({jul15, 0}), 45122.0 + 2.0 / 24);
}

TEST_F(FileTimeToDateTimeTest, FarFutureStaysExactToTheDay) {
  useZone("UTC0");
  // 1 January 100000: beyond a four-digit year and beyond std::chrono's calendar.
  const std::int64_t days = 35'804'722;
  EXPECT_EQ(FileTimeToDateTime({days * kDay, 0}), static_cast<double>(days) + 25569.0);
}

TEST_F(FileTimeToDateTimeTest, RejectsMomentsOutsideTheLocalCalendar) {
  useZone("UTC0");
  EXPECT_THROW(FileTimeToDateTime({INT64_MAX, 0}), EDirScanError);
}

}  // namespace
}  // namespace verbalon::dirscan
