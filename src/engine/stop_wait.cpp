#include "engine/stop_wait.h"

#include <algorithm>
#include <utility>

#include "platform/file.h"

namespace qg {

WorkerClock WorkerClock::system() {
  return {[] { return std::chrono::steady_clock::now(); },
          [](std::chrono::milliseconds duration) {
            platform::sleepMilliseconds(static_cast<unsigned>(
                std::max<long long>(0, static_cast<long long>(duration.count()))));
          }};
}

StopWait::StopWait(const EngineFlags& flags, int stopFlag, WorkerClock clock,
                   std::chrono::milliseconds step)
    : flags_(flags),
      stopFlag_(stopFlag),
      clock_(std::move(clock)),
      step_(std::max(step, std::chrono::milliseconds(1))) {}

bool StopWait::until(WorkerTime deadline) {
  for (;;) {
    if (stopRequested()) return false;
    const WorkerTime now = clock_.now();
    if (now >= deadline) return true;
    // Rounded up, so the last step does not fall short of the deadline.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    clock_.sleep(std::min(step_, left));
  }
}

bool StopWait::sleepFor(std::chrono::milliseconds duration) {
  return until(clock_.now() + duration);
}

}  // namespace qg
