#include "retrieval/box_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace qg {
namespace {

constexpr std::int64_t kMinute = kMicrosPerMinute;

// Three boxes checked at minute 0: intervals 0, 1 and 10 minutes, in entries 0 to 2.
BoxTable threeBoxes() {
  BoxTable table;
  const std::uint16_t intervals[] = {0, 1, 10};
  for (std::size_t i = 0; i < 3; ++i) {
    table[i].boxNumber = static_cast<std::uint16_t>(i + 1);
    table[i].pollMinutes = intervals[i];
    table[i].state = 2;
  }
  return table;
}

std::vector<bool> dueEntries(const BoxTable& table) {
  return {table[0].due(), table[1].due(), table[2].due(), table[3].due()};
}

TEST(BoxTable, DueMarks) {
  struct Case {
    const char* name;
    std::function<void(BoxTable&)> act;
    std::vector<bool> wantDue;
  };
  const Case cases[] = {
      {"NothingAtFirst", [](BoxTable&) {}, {false, false, false, false}},
      {"RequestAll", [](BoxTable& t) { t.markRequested(1); }, {true, true, true, false}},
      {"RequestOneEntry", [](BoxTable& t) { t.markRequested(2 + 2); }, {false, false, true, false}},
      {"RequestEmptyEntry",
       [](BoxTable& t) { t.markRequested(2 + 3); },
       {false, false, false, false}},
      {"RequestBeyondTable",
       [](BoxTable& t) { t.markRequested(2 + 256); },
       {false, false, false, false}},
      {"HalfAMinuteEarly",
       [](BoxTable& t) { t.markDueByInterval(kMinute / 2 + 1, kDueSlackMicros); },
       {false, true, false, false}},
      {"NotYetAtHalfAMinute",
       [](BoxTable& t) { t.markDueByInterval(kMinute / 2, kDueSlackMicros); },
       {false, false, false, false}},
      {"IntervalZeroNeverByTime",
       [](BoxTable& t) { t.markDueByInterval(1000 * kMinute, kDueSlackMicros); },
       {false, true, true, false}},
      {"IdleWaitWantsTheFullInterval",
       [](BoxTable& t) {
         EXPECT_FALSE(t.markIfIntervalPassed(1, kMinute));
         EXPECT_TRUE(t.markIfIntervalPassed(1, kMinute + 1));
         EXPECT_FALSE(t.markIfIntervalPassed(0, 1000 * kMinute));
       },
       {false, true, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoxTable table = threeBoxes();
    c.act(table);
    EXPECT_EQ(dueEntries(table), c.wantDue);
    EXPECT_EQ(table.dueBits(), c.wantDue[0] || c.wantDue[1] || c.wantDue[2] ? 1 : 0);
  }
}

TEST(BoxTable, FinishKeepsTheOptionBitsAndRestartsTheInterval) {
  BoxTable table = threeBoxes();
  table[1].state = 3 | box_state::kDue;
  table.finish(1, 5 * kMinute);
  EXPECT_EQ(table[1].state, 3);
  EXPECT_EQ(table[1].lastCheck, 5 * kMinute);
  table.markDueByInterval(5 * kMinute + kMinute / 2, kDueSlackMicros);
  EXPECT_FALSE(table[1].due());
}

}  // namespace
}  // namespace qg
