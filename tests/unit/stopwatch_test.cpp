#include "text/stopwatch.h"

#include <gtest/gtest.h>

#include <thread>

namespace qg {
namespace {

TEST(Stopwatch, TwoWatchesMeasureIndependentlyInTheirOwnUnits) {
  Stopwatch seconds;
  Stopwatch micro;
  EXPECT_EQ(seconds.measure(Stopwatch::kStartSeconds), 0);
  EXPECT_EQ(micro.measure(Stopwatch::kStartMicroseconds), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::int64_t first = micro.measure(Stopwatch::kRead);
  EXPECT_GE(first, 29'000);
  EXPECT_LT(first, 30'000'000);
  EXPECT_EQ(seconds.measure(Stopwatch::kRead), 0);
  // A reading restarts the measurement.
  EXPECT_LT(micro.measure(Stopwatch::kRead), first);
}

TEST(Stopwatch, ReportsTheCounterFrequency) {
  Stopwatch watch;
  const std::int64_t frequency = watch.measure(Stopwatch::kFrequency);
  EXPECT_EQ(frequency, std::chrono::steady_clock::period::den);
  EXPECT_GE(frequency, 1'000'000);
  EXPECT_EQ(watch.measure(Stopwatch::kStartMilliseconds), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(watch.measure(Stopwatch::kRead), 19);
}

}  // namespace
}  // namespace qg
