#include "text/date_record.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace qg {
namespace {

constexpr std::array<int, 12> kMonthDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::int64_t kDaysPerFourYears = 4 * 365 + 1;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::int64_t floorMod(std::int64_t a, std::int64_t b) {
  return a - floorDiv(a, b) * b;
}

// Days in the months before a zero-based month.
std::int64_t daysBeforeMonth(int zeroBasedMonth, std::int64_t year) {
  std::int64_t days = 0;
  for (int m = 0; m < zeroBasedMonth; ++m) days += monthLength(m + 1, year);
  return days;
}

struct CalendarDay {
  std::int64_t year;
  int month;  // 1-12
  int day;    // 1 to the month's length
};

// The exact inverse of dayNumber(): four-year cycles of 1461 days whose last
// year is the leap year, then the month by walking the month lengths.
CalendarDay fromDayNumber(std::int64_t number) {
  const std::int64_t cycles = floorDiv(number, kDaysPerFourYears);
  std::int64_t rest = number - cycles * kDaysPerFourYears;
  const std::int64_t yearInCycle = std::min<std::int64_t>(rest / 365, 3);
  rest -= yearInCycle * 365;
  const std::int64_t year = 1 + 4 * cycles + yearInCycle;
  int month = 1;
  while (month < 12 && rest >= monthLength(month, year)) {
    rest -= monthLength(month, year);
    ++month;
  }
  return {year, month, static_cast<int>(rest) + 1};
}

// The last day of kMaxYear.
constexpr std::int64_t kMaxDayNumber =
    (kMaxYear - 1) * std::int64_t{365} + (kMaxYear - 1) / 4 + (kMaxYear % 4 == 0 ? 365 : 364);

DateRecord fromTm(const std::tm& tm, int millisecond) {
  return DateRecord::fromFields(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                tm.tm_sec, millisecond, 0);
}

}  // namespace

bool isLeapYear(std::int64_t year) {
  return year % 4 == 0;
}

int monthLength(int month, std::int64_t year) {
  if (month < 1 || month > 12) return 0;
  if (month == 2 && isLeapYear(year)) return 29;
  return kMonthDays[static_cast<std::size_t>(month - 1)];
}

std::int64_t dayNumber(std::int64_t year, int month, int day) {
  return (year - 1) * 365 + floorDiv(year - 1, 4) + daysBeforeMonth(month - 1, year) + (day - 1);
}

DateRecord DateRecord::now() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return local(static_cast<std::time_t>(floorDiv(ms, 1000)), static_cast<int>(floorMod(ms, 1000)));
}

DateRecord DateRecord::local(std::time_t seconds, int millisecond) {
  std::tm tm{};
  if (localtime_r(&seconds, &tm) == nullptr) return DateRecord{};
  return fromTm(tm, millisecond);
}

DateRecord DateRecord::universal(std::time_t seconds, int millisecond) {
  std::tm tm{};
  if (gmtime_r(&seconds, &tm) == nullptr) return DateRecord{};
  return fromTm(tm, millisecond);
}

DateRecord DateRecord::fromFields(std::int32_t year, std::int32_t month, std::int32_t day,
                                  std::int32_t hour, std::int32_t minute, std::int32_t second,
                                  std::int32_t millisecond, std::int32_t microsecond) {
  DateRecord r;
  r.year = year;
  r.month = month;
  r.day = day;
  r.hour = hour;
  r.minute = minute;
  r.second = second;
  r.millisecond = millisecond;
  r.microsecond = microsecond;
  r.normalise();
  return r;
}

DateRecord DateRecord::fromStamp(std::int64_t stamp) {
  // Truncating division keeps every remainder inside 32 bits; normalising then
  // borrows for the negative remainders of a stamp below year 0.
  DateRecord r;
  r.year = static_cast<std::int32_t>(stamp / kStampYear);
  std::int64_t rest = stamp % kStampYear;
  r.month = static_cast<std::int32_t>(rest / kStampMonth) + 1;
  rest %= kStampMonth;
  r.day = static_cast<std::int32_t>(rest / kStampDay) + 1;
  rest %= kStampDay;
  r.hour = static_cast<std::int32_t>(rest / kStampHour);
  rest %= kStampHour;
  r.minute = static_cast<std::int32_t>(rest / kStampMinute);
  rest %= kStampMinute;
  r.second = static_cast<std::int32_t>(rest / kStampSecond);
  rest %= kStampSecond;
  r.millisecond = static_cast<std::int32_t>(rest / kStampMillisecond);
  r.microsecond = static_cast<std::int32_t>(rest % kStampMillisecond);
  r.normalise();
  return r;
}

std::int64_t DateRecord::normalise() {
  // Months: whole twelves (negative ones borrowed) go into the year.
  std::int64_t y = year;
  std::int64_t m = static_cast<std::int64_t>(month) - 1;
  y += floorDiv(m, 12);
  m = floorMod(m, 12);
  // Days beyond either end of the month walk into the neighbouring months with
  // their real lengths; counting from the month's first day does the same walk
  // at once, however far the day lies outside.
  std::int64_t number =
      qg::dayNumber(y, static_cast<int>(m) + 1, 1) + (static_cast<std::int64_t>(day) - 1);
  const CalendarDay walked = fromDayNumber(number);
  if (walked.year < 1) number = qg::dayNumber(1, walked.month, walked.day);

  // Time of day: borrow and carry upwards, the hours into the day number.
  std::int64_t us = microsecond;
  std::int64_t ms = static_cast<std::int64_t>(millisecond) + floorDiv(us, 1000);
  us = floorMod(us, 1000);
  std::int64_t s = static_cast<std::int64_t>(second) + floorDiv(ms, 1000);
  ms = floorMod(ms, 1000);
  std::int64_t mi = static_cast<std::int64_t>(minute) + floorDiv(s, 60);
  s = floorMod(s, 60);
  std::int64_t h = static_cast<std::int64_t>(hour) + floorDiv(mi, 60);
  mi = floorMod(mi, 60);
  number += floorDiv(h, 24);
  h = floorMod(h, 24);
  number = std::clamp<std::int64_t>(number, 0, kMaxDayNumber);

  const CalendarDay date = fromDayNumber(number);
  year = static_cast<std::int32_t>(date.year);
  month = date.month;
  day = date.day;
  hour = static_cast<std::int32_t>(h);
  minute = static_cast<std::int32_t>(mi);
  second = static_cast<std::int32_t>(s);
  millisecond = static_cast<std::int32_t>(ms);
  microsecond = static_cast<std::int32_t>(us);
  dayNumber = static_cast<std::int32_t>(number);
  weekday = static_cast<std::int32_t>(number % 7);
  stamp = year * kStampYear + (month - 1) * kStampMonth + (day - 1) * kStampDay +
          hour * kStampHour + minute * kStampMinute + second * kStampSecond +
          millisecond * kStampMillisecond + microsecond;
  return stamp;
}

std::int64_t DateRecord::addDays(std::int32_t n) {
  const std::int64_t moved = static_cast<std::int64_t>(day) + n;
  // A record whose day is already far out is normalised first so the sum fits.
  if (moved > INT32_MAX || moved < INT32_MIN) {
    normalise();
    day = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(static_cast<std::int64_t>(day) + n, INT32_MIN, INT32_MAX));
  } else {
    day = static_cast<std::int32_t>(moved);
  }
  return normalise();
}

int zoneSeconds(const DateRecord& local, const DateRecord& universal) {
  auto secondsOf = [](const DateRecord& r) {
    return static_cast<std::int64_t>(r.dayNumber) * 86'400 + r.hour * 3600 + r.minute * 60 +
           r.second;
  };
  return static_cast<int>(secondsOf(local) - secondsOf(universal));
}

int localZoneSeconds(std::time_t at) {
  return zoneSeconds(DateRecord::local(at), DateRecord::universal(at));
}

int localZoneSeconds() {
  return localZoneSeconds(std::time(nullptr));
}

}  // namespace qg
