// A stopwatch on the system's monotonic high-resolution counter, for timing
// work in the engine. Each object is an independent watch owned by one thread.
#pragma once

#include <chrono>
#include <cstdint>

namespace qg {

class Stopwatch {
 public:
  // Modes of measure(): 1-4 start the watch in a unit, 5 asks the counter's frequency.
  static constexpr int kStartTicks = 1;
  static constexpr int kStartMicroseconds = 2;
  static constexpr int kStartMilliseconds = 3;
  static constexpr int kStartSeconds = 4;
  static constexpr int kFrequency = 5;
  static constexpr int kRead = 0;

  // Modes 1-4 start the measurement in that unit and return 0; mode 5 returns the
  // counter's ticks per second; any other mode returns the time since the start or
  // the previous reading in the chosen unit (less 3 counter ticks for the cost of
  // the call, never below 0) and starts the next measurement. A watch never started
  // counts from its construction in ticks.
  std::int64_t measure(int mode);

  static std::int64_t frequency();

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_ = Clock::now();
  int unit_ = kStartTicks;
};

}  // namespace qg
