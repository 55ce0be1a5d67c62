#include "text/mail_date.h"

#include <gtest/gtest.h>

#include "fixed_zone.h"

namespace qg {
namespace {

constexpr int kOneHourAhead = 3600;

std::int64_t stampOf(int year, int month, int day, int hour, int minute, int second) {
  return DateRecord::fromFields(year, month, day, hour, minute, second).stamp;
}

TEST(MailDate, ReadsTheFormsOfReceivedMailAsLocalTime) {
  struct Case {
    const char* text;
    std::int64_t want;
  };
  const Case cases[] = {
      {"Tue, 5 Dec 2006 18:24:11 +0300", stampOf(2006, 12, 5, 16, 24, 11)},
      {"Tue, 05 Dec 2006 18:24:11 +0100", stampOf(2006, 12, 5, 18, 24, 11)},
      {"Tue, 5 Dec 2006 18:24:11 -0030", stampOf(2006, 12, 5, 19, 54, 11)},
      {"tue, 5 dec 2006 18:24:11 +0100", stampOf(2006, 12, 5, 18, 24, 11)},
      {"Tue 5 Dec 2006 18:24:11", stampOf(2006, 12, 5, 18, 24, 11)},
      {"5 Dec 2006 18:24:11 GMT", stampOf(2006, 12, 5, 18, 24, 11)},
      {"Tue, 5 Dec 2006 18:24 +0100", stampOf(2006, 12, 5, 18, 24, 0)},
      {"Tue, 5 Dec 2006 18:24:", stampOf(2006, 12, 5, 18, 24, 0)},
      {"Tue, 5 Dec 2006 18:24:11+0100", stampOf(2006, 12, 5, 18, 24, 11)},
      {"Tue, 5 Dec 2006 18:24:11 +-0800", stampOf(2006, 12, 5, 18, 24, 11)},
      // Two-digit years.
      {"5 Dec 06 18:24:11", stampOf(2006, 12, 5, 18, 24, 11)},
      {"5 Dec 99 18:24:11", stampOf(1999, 12, 5, 18, 24, 11)},
      {"5 Dec 80 18:24:11", stampOf(2080, 12, 5, 18, 24, 11)},
      {"5 Dec 81 18:24:11", stampOf(1981, 12, 5, 18, 24, 11)},
      // Numeric forms: "/" after the first number makes it the month.
      {"12/5/2006 6:24:11 PM", stampOf(2006, 12, 5, 18, 24, 11)},
      {"5.12.2006 18:24:11", stampOf(2006, 12, 5, 18, 24, 11)},
      {"12/5/2006 6:24:11 am", stampOf(2006, 12, 5, 6, 24, 11)},
      {"12/5/2006 12:10:00 PM", stampOf(2006, 12, 5, 12, 10, 0)},
      {"12/5/2006 12:10:00 AM", stampOf(2006, 12, 5, 0, 10, 0)},
      {"03 Jul 06 1:17:40 PM -0700", stampOf(2006, 7, 3, 21, 17, 40)},
      // Extra blanks, as folded or hand-written values have them.
      {"Fri,  1 Dec 2006 10:00:00  -0500 (EST)", stampOf(2006, 12, 1, 16, 0, 0)},
      // A zone shift over midnight lands on the real neighbouring day.
      {"Fri, 1 Dec 2006 00:30:00 +0300", stampOf(2006, 11, 30, 22, 30, 0)},
      {"Sun, 31 Dec 2006 23:30:00 -0100", stampOf(2007, 1, 1, 1, 30, 0)},
      // Unreadable texts.
      {"Tue, 5 Dce 2006 18:24:11 +0300", 0},
      {"Tue, 5 Dec 2006", 0},
      {"Tue, 5 Dec 2006 x:24:11", 0},
      {"Tue, a5 Dec 2006 18:24:11", 0},
      {"Tue, 32 Dec 2006 18:24:11", 0},
      {"Tue, 0 Dec 2006 18:24:11", 0},
      {"13/5/2006 18:24:11", 0},
      {"5 Dec 20x6 18:24:11", 0},
      {"5 Dec 9999999999999999999999 18:24:11", 0},
      {"5 Dec 2006 183:24:11", 0},
      {"Tue,", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseMailDate(c.text, kOneHourAhead), c.want) << c.text;
  }
}

TEST(MailDate, ReadsWithTheMachineZoneWhenNoneIsGiven) {
  FixedZone zone("QGT-1");
  EXPECT_EQ(parseMailDate("Tue, 5 Dec 2006 18:24:11 +0300"), stampOf(2006, 12, 5, 16, 24, 11));
}

TEST(MailDate, WritesTheDateOfOutgoingMailAndReadsItBack) {
  struct Case {
    const char* zone;
    std::time_t moment;
    const char* want;
  };
  const Case cases[] = {
      {"QGT-3", 1'165'332'251, "Tue, 05 Dec 2006 18:24:11 +0300"},
      {"UTC0", 1'165'332'251, "Tue, 05 Dec 2006 15:24:11 +0000"},
      {"QGT+3:30", 1'165'332'251, "Tue, 05 Dec 2006 11:54:11 -0330"},
      {"QGT-2", 119 * 86'400 + 22 * 3600 + 1800, "Fri, 01 May 1970 00:30:00 +0200"},
  };
  for (const Case& c : cases) {
    FixedZone zone(c.zone);
    const DateRecord local = DateRecord::local(c.moment);
    const std::string got = mailDate(local, DateRecord::universal(c.moment));
    EXPECT_EQ(got, c.want) << c.zone;
    EXPECT_EQ(parseMailDate(got, localZoneSeconds(c.moment)), local.stamp) << got;
  }
}

}  // namespace
}  // namespace qg
