#include "dirscan/file_time.h"

#include <ctime>
#include <string>

#include "dirscan/dirscan_error.h"

namespace verbalon::dirscan {
namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// Days from 1 January 1970 to the given date of the proleptic Gregorian calendar. Works on
// 64-bit integers because the C library's calendar year is an int and may exceed what
// std::chrono's calendar types hold.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146'097 + dayOfEra - 719'468;
}

}  // namespace

double FileTimeToDateTime(const FileTime& fileTime) {
  const auto seconds = static_cast<std::time_t>(fileTime.seconds);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) {
    throw EDirScanError("file time " + std::to_string(fileTime.seconds) +
                        " s cannot be expressed in local time");
  }
  static const std::int64_t kEpochDay = daysFromCivil(1899, 12, 30);
  const std::int64_t day =
      daysFromCivil(std::int64_t{local.tm_year} + 1900, local.tm_mon + 1, local.tm_mday) -
      kEpochDay;
  const std::int64_t millisecond = fileTime.nanoseconds / 1'000'000;
  const std::int64_t timeOfDay =
      ((std::int64_t{local.tm_hour} * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + millisecond;
  return static_cast<double>(day) +
         static_cast<double>(timeOfDay) / static_cast<double>(kMillisecondsPerDay);
}

}  // namespace verbalon::dirscan
