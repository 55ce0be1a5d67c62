#include "text/date_record.h"

#include <gtest/gtest.h>

#include <climits>

#include "fixed_zone.h"

namespace qg {
namespace {

struct Fields {
  int year, month, day, hour, minute, second, millisecond, microsecond;
};

Fields fieldsOf(const DateRecord& r) {
  return {r.year, r.month, r.day, r.hour, r.minute, r.second, r.millisecond, r.microsecond};
}

bool operator==(const Fields& a, const Fields& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second && a.millisecond == b.millisecond &&
         a.microsecond == b.microsecond;
}

std::ostream& operator<<(std::ostream& out, const Fields& f) {
  return out << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':' << f.minute << ':'
             << f.second << '.' << f.millisecond << '.' << f.microsecond;
}

TEST(DateRecord, DayNumberAndWeekdayOfKnownDays) {
  struct Case {
    int year, month, day;
    std::int64_t want_number;
    int want_weekday;
  };
  const Case cases[] = {
      {1, 1, 1, 0, 0},
      {1, 12, 31, 364, 0},              // year 1 is no leap year
      {4, 3, 1, 3 * 365 + 31 + 29, 0},  // year 4 is
      {2006, 12, 5, 732'664, 2},        // a Tuesday
      {2007, 1, 1, 732'691, 1},         // a Monday
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dayNumber(c.year, c.month, c.day), c.want_number) << c.year << '-' << c.month;
    const DateRecord r = DateRecord::fromFields(c.year, c.month, c.day);
    EXPECT_EQ(r.dayNumber, c.want_number);
    EXPECT_EQ(r.weekday, c.want_weekday);
  }
}

TEST(DateRecord, InverseOfTheDayNumberWalksEveryDayOfALeapCycle) {
  // Each day from the start of 2003 to the end of 2009 comes back as the next
  // calendar day with fields in range.
  const std::int64_t first = dayNumber(2003, 1, 1);
  DateRecord previous = DateRecord::fromFields(2002, 12, 31);
  for (int k = 0; k < 7 * 366; ++k) {
    const DateRecord r = DateRecord::fromFields(2003, 1, 1 + k);
    ASSERT_EQ(r.dayNumber, first + k);
    ASSERT_EQ(dayNumber(r.year, r.month, r.day), r.dayNumber);
    ASSERT_GE(r.day, 1);
    ASSERT_LE(r.day, monthLength(r.month, r.year));
    ASSERT_GT(r.stamp, previous.stamp);
    previous = r;
  }
  EXPECT_EQ(fieldsOf(DateRecord::fromFields(2003, 1, 1 + 424)),
            (Fields{2004, 2, 29, 0, 0, 0, 0, 0}));
}

TEST(DateRecord, StampUsesTheCalendarOf31DayMonths) {
  const DateRecord last = DateRecord::fromFields(2006, 12, 31, 23, 59, 59);
  const DateRecord next = DateRecord::fromFields(2007, 1, 1);
  EXPECT_EQ(next.stamp - last.stamp, 1'000'000);

  const DateRecord r = DateRecord::fromFields(2006, 12, 5, 18, 24, 11, 250, 7);
  EXPECT_EQ(r.stamp, 2006 * kStampYear + 11 * kStampMonth + 4 * kStampDay + 18 * kStampHour +
                         24 * kStampMinute + 11 * kStampSecond + 250 * kStampMillisecond + 7);
  EXPECT_EQ(fieldsOf(DateRecord::fromStamp(r.stamp)), fieldsOf(r));
}

TEST(DateRecord, NormaliseBorrowsAndCarriesEveryField) {
  struct Case {
    Fields given;
    Fields want;
  };
  const Case cases[] = {
      {{2007, 1, 1, 0, 0, -1, 0, 0}, {2006, 12, 31, 23, 59, 59, 0, 0}},
      {{2006, 12, 5, 0, 0, 0, 0, -1}, {2006, 12, 4, 23, 59, 59, 999, 999}},
      {{2006, 12, 31, 23, 59, 59, 999, 1000}, {2007, 1, 1, 0, 0, 0, 0, 0}},
      {{2006, 1, 1, 0, 1500, 0, 0, 0}, {2006, 1, 2, 1, 0, 0, 0, 0}},
      {{2006, 3, 1, -49, 0, 0, 0, 0}, {2006, 2, 26, 23, 0, 0, 0, 0}},
      {{2006, 0, 15, 0, 0, 0, 0, 0}, {2005, 12, 15, 0, 0, 0, 0, 0}},
      {{2006, -13, 1, 0, 0, 0, 0, 0}, {2004, 11, 1, 0, 0, 0, 0, 0}},
      {{2006, 14, 1, 0, 0, 0, 0, 0}, {2007, 2, 1, 0, 0, 0, 0, 0}},
      {{2004, 3, 0, 0, 0, 0, 0, 0}, {2004, 2, 29, 0, 0, 0, 0, 0}},
      {{2006, 1, -1, 0, 0, 0, 0, 0}, {2005, 12, 30, 0, 0, 0, 0, 0}},
      {{2006, 4, 31, 0, 0, 0, 0, 0}, {2006, 5, 1, 0, 0, 0, 0, 0}},
      {{2006, 2, 29, 0, 0, 0, 0, 0}, {2006, 3, 1, 0, 0, 0, 0, 0}},
      // Nothing lies before 1 January of year 1.
      {{0, 6, 1, 0, 0, 0, 0, 0}, {1, 6, 1, 0, 0, 0, 0, 0}},
      {{1, 1, 1, -1, 0, 0, 0, 0}, {1, 1, 1, 23, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Fields& g = c.given;
    const DateRecord r = DateRecord::fromFields(g.year, g.month, g.day, g.hour, g.minute, g.second,
                                                g.millisecond, g.microsecond);
    EXPECT_EQ(fieldsOf(r), c.want) << "from " << g;
    EXPECT_EQ(r.dayNumber, dayNumber(r.year, r.month, r.day)) << "from " << g;
    EXPECT_EQ(r.weekday, r.dayNumber % 7);
  }
}

TEST(DateRecord, ExtremeFieldsAndStampsSaturateInsteadOfOverflowing) {
  const DateRecord low = DateRecord::fromFields(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN,
                                                INT_MIN, INT_MIN, INT_MIN);
  EXPECT_EQ(low.year, 1);
  EXPECT_EQ(low.dayNumber, 0);
  const DateRecord high = DateRecord::fromFields(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX,
                                                 INT_MAX, INT_MAX, INT_MAX);
  EXPECT_EQ(high.year, kMaxYear);
  EXPECT_EQ(high.month, 12);
  EXPECT_EQ(high.day, 31);
  EXPECT_GT(high.stamp, 0);
  EXPECT_EQ(DateRecord::fromStamp(INT64_MAX).year, kMaxYear);
  EXPECT_EQ(DateRecord::fromStamp(INT64_MIN).year, 1);
  EXPECT_EQ(DateRecord::fromStamp(0).year, 1);
}

TEST(DateRecord, AddingDaysWalksRealMonthLengths) {
  struct Case {
    int year, month, day, n;
    int want_year, want_month, want_day;
  };
  const Case cases[] = {
      {2006, 1, 30, 3, 2006, 2, 2},    {2004, 3, 1, -3, 2004, 2, 27},
      {2005, 3, 1, -1, 2005, 2, 28},   {2006, 12, 31, 1, 2007, 1, 1},
      {2006, 12, 5, 365, 2007, 12, 5}, {2006, 12, 5, -732'664, 1, 1, 1},
  };
  for (const Case& c : cases) {
    DateRecord r = DateRecord::fromFields(c.year, c.month, c.day, 18, 24, 11);
    const std::int64_t stamp = r.addDays(c.n);
    EXPECT_EQ(fieldsOf(r), (Fields{c.want_year, c.want_month, c.want_day, 18, 24, 11, 0, 0}))
        << c.year << '-' << c.month << '-' << c.day << " + " << c.n;
    EXPECT_EQ(stamp, r.stamp);
  }
  DateRecord far = DateRecord::fromFields(2006, 12, 5);
  far.day = INT_MAX;
  far.addDays(INT_MAX);  // no overflow, saturates
  EXPECT_EQ(far.year, kMaxYear);
}

TEST(DateRecord, LocalAndUniversalRecordsFollowTheZone) {
  const std::time_t t = 1'165'332'251;  // 2006-12-05 15:24:11 universal time
  {
    FixedZone zone("QGT-3");
    EXPECT_EQ(fieldsOf(DateRecord::local(t, 250)), (Fields{2006, 12, 5, 18, 24, 11, 250, 0}));
    EXPECT_EQ(fieldsOf(DateRecord::universal(t)), (Fields{2006, 12, 5, 15, 24, 11, 0, 0}));
    EXPECT_EQ(localZoneSeconds(t), 3 * 3600);
  }
  {
    FixedZone zone("QGT+3:30");
    EXPECT_EQ(localZoneSeconds(t), -(3 * 3600 + 1800));
  }
  // Local time on 1 May while universal time is still on 30 April: the zone is
  // two hours, not the 26 that the stamps' 31-day April would suggest.
  FixedZone zone("QGT-2");
  const std::time_t month_end = 119 * 86'400 + 22 * 3600 + 1800;  // 1970-04-30 22:30 UT
  EXPECT_EQ(DateRecord::local(month_end).month, 5);
  EXPECT_EQ(localZoneSeconds(month_end), 7200);
}

}  // namespace
}  // namespace qg
