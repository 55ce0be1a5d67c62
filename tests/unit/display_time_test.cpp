#include "text/display_time.h"

#include <gtest/gtest.h>

namespace qg {
namespace {

TEST(DisplayTime, ShortTextsForEachLanguageLetterWithAndWithoutToday) {
  const DateRecord evening = DateRecord::fromFields(2006, 12, 5, 18, 4);
  const std::int32_t today = evening.dayNumber;
  const std::int32_t tomorrow = today + 1;
  struct Case {
    DateRecord record;
    char letter;
    unsigned flags;
    std::int32_t today;
    const char* want;
  };
  const Case cases[] = {
      {evening, 'e', 0, today, "06:04 PM   5/12/2006"},
      {evening, 'e', kDisplayOmitToday, today, "06:04 PM"},
      {evening, 'e', kDisplayOmitToday, tomorrow, "06:04 PM   5/12/2006"},
      {DateRecord::fromFields(2006, 12, 5, 9, 5), 'e', kDisplayOmitToday, today, "09:05 AM"},
      {DateRecord::fromFields(2006, 12, 5, 12, 0), 'e', kDisplayOmitToday, today, "12:00 PM"},
      {DateRecord::fromFields(2006, 12, 5, 0, 30), 'e', kDisplayOmitToday, today, "12:30 AM"},
      {evening, 'u', 0, today, "18:04  05.12.2006"},
      {evening, 'u', kDisplayOmitToday, today, "18:04"},
      {evening, 'r', kDisplayOmitToday, tomorrow, "18:04  05.12.2006"},
      {evening, 'r', kDisplayOmitToday, today, "18:04"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(displayTime(c.record, c.letter, c.flags, c.today), c.want)
        << c.letter << " flags " << c.flags;
  }
}

}  // namespace
}  // namespace qg
