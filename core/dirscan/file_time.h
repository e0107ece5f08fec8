#pragma once

#include <compare>
#include <cstdint>

namespace verbalon::dirscan {

// A moment as the file system records it: whole seconds since 1 January 1970 UTC and the
// nanoseconds within that second (0 to 999 999 999, also for moments before 1970).
struct FileTime {
  std::int64_t seconds = 0;
  std::int32_t nanoseconds = 0;

  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// The date-time value of a file time in the local time zone: days since 30 December 1899 as a
// floating-point number, the time of day (to the millisecond) being the fraction. The value is
// the whole day number plus the time of day, so a moment before 1899 is a negative day number
// plus a positive fraction. Sub-millisecond parts are dropped.
//
// The local offset is the one in force at that moment (summer time included), as the C library
// reports it for the TZ setting of the process.
//
// Throws EDirScanError when the C library cannot express the moment in local calendar fields
// (a year beyond what its calendar holds).
double FileTimeToDateTime(const FileTime& fileTime);

}  // namespace verbalon::dirscan
