#include "text/stopwatch.h"

#include <algorithm>

namespace qg {

std::int64_t Stopwatch::frequency() {
  return static_cast<std::int64_t>(Clock::period::den / Clock::period::num);
}

std::int64_t Stopwatch::measure(int mode) {
  const Clock::time_point now = Clock::now();
  if (mode >= kStartTicks && mode <= kStartSeconds) {
    unit_ = mode;
    start_ = now;
    return 0;
  }
  if (mode == kFrequency) return frequency();
  const Clock::duration elapsed = std::max(now - start_ - Clock::duration(3), Clock::duration(0));
  start_ = now;
  switch (unit_) {
    case kStartMicroseconds:
      return std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    case kStartMilliseconds:
      return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    case kStartSeconds:
      return std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    default:
      return elapsed.count();
  }
}

}  // namespace qg
