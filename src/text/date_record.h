// The program's calendar: the 64-bit time stamp (31-day months, 372-day years,
// microseconds), the day number, and the date record that converts between
// them and the system's local and universal time. Pure values; any thread.
// Stamps order like the dates they stand for, but a difference of two stamps is
// a real duration only inside one month: add days on a DateRecord, never on a stamp.
#pragma once

#include <cstdint>
#include <ctime>

namespace qg {

// Units of the time stamp.
inline constexpr std::int64_t kStampMicrosecond = 1;
inline constexpr std::int64_t kStampMillisecond = 1000;
inline constexpr std::int64_t kStampSecond = 1'000'000;
inline constexpr std::int64_t kStampMinute = 60'000'000;
inline constexpr std::int64_t kStampHour = 3'600'000'000;
inline constexpr std::int64_t kStampDay = 86'400'000'000;
inline constexpr std::int64_t kStampMonth = 2'678'400'000'000;  // 31 days
inline constexpr std::int64_t kStampYear = 32'140'800'000'000;  // 372 days

// Normalising saturates at this year, so that every stamp fits in 64 bits.
inline constexpr std::int32_t kMaxYear = 200'000;

// True for every year divisible by 4; the calendar has no century rule.
bool isLeapYear(std::int64_t year);
// Days of a month (1-12) in the given year: 28 or 29 for February. 0 for a bad month.
int monthLength(int month, std::int64_t year);
// Days since 1 January of year 1 (day 0) for a valid date (month 1-12, day 1-31);
// the formula extends to earlier years with negative results.
std::int64_t dayNumber(std::int64_t year, int month, int day);

// A point in time as calendar fields. After normalise() every field lies in its
// range (year 1 to kMaxYear, month 1-12, day 1 to the month's length, hour 0-23,
// minute and second 0-59, millisecond and microsecond 0-999), weekday is
// 0 = Sunday ... 6 = Saturday, and dayNumber and stamp agree with the fields.
struct DateRecord {
  std::int32_t year = 1;
  std::int32_t month = 1;
  std::int32_t day = 1;
  std::int32_t hour = 0;
  std::int32_t minute = 0;
  std::int32_t second = 0;
  std::int32_t millisecond = 0;
  std::int32_t microsecond = 0;
  std::int32_t weekday = 0;
  std::int32_t dayNumber = 0;
  std::int64_t stamp = kStampYear;

  // The current local time (millisecond from the system clock, microsecond 0).
  static DateRecord now();
  // The given moment as local time or as universal time, microsecond 0.
  // A moment the system cannot convert gives the default record (1 January of year 1).
  static DateRecord local(std::time_t seconds, int millisecond = 0);
  static DateRecord universal(std::time_t seconds, int millisecond = 0);
  // Any field values, normalised (fields out of range carry or borrow).
  static DateRecord fromFields(std::int32_t year, std::int32_t month, std::int32_t day,
                               std::int32_t hour = 0, std::int32_t minute = 0,
                               std::int32_t second = 0, std::int32_t millisecond = 0,
                               std::int32_t microsecond = 0);
  // The fields of a stamp, normalised. A stamp before year 1 gives a point in year 1.
  static DateRecord fromStamp(std::int64_t stamp);

  // Brings every field into its range: months and days first (walking real month
  // lengths), then the time of day carries into the day number, and year, month and
  // day are derived again from it. A year below 1 becomes 1; a point before
  // 1 January of year 1 keeps its time of day on that day; a point beyond kMaxYear
  // keeps its time of day on the last day of kMaxYear. Returns the stamp.
  std::int64_t normalise();
  // Moves the record by n days (negative n goes back) and normalises. Returns the stamp.
  std::int64_t addDays(std::int32_t n);
};

// Seconds that local time is ahead of universal time (negative when behind),
// from the two records of one moment. Counted on real day numbers, so it stays
// right when the two sides of the zone fall in different months.
int zoneSeconds(const DateRecord& local, const DateRecord& universal);
// The zone of this machine at the given moment, or now.
int localZoneSeconds(std::time_t at);
int localZoneSeconds();

}  // namespace qg
