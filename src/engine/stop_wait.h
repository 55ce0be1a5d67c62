// Waits of a worker thread that end early when the worker's stop flag is set,
// on a clock and a sleep that tests replace with their own. Each worker owns
// its StopWait and uses it on its own thread only.
#pragma once

#include <chrono>
#include <functional>

#include "engine/engine_state.h"

namespace qg {

using WorkerTime = std::chrono::steady_clock::time_point;

// The time source of a worker; system() is the steady clock and a real sleep.
struct WorkerClock {
  std::function<WorkerTime()> now;
  std::function<void(std::chrono::milliseconds)> sleep;

  static WorkerClock system();
};

class StopWait {
 public:
  // Sleeps are cut into steps of at most step, with a look at stopFlag before
  // each one, so a stop request is seen within one step.
  StopWait(const EngineFlags& flags, int stopFlag, WorkerClock clock = WorkerClock::system(),
           std::chrono::milliseconds step = std::chrono::milliseconds(50));

  bool stopRequested() const { return flags_.get(stopFlag_) != 0; }
  WorkerTime now() const { return clock_.now(); }

  // Sleeps until deadline. True when it has passed; false as soon as the stop
  // flag is seen (also when it was already set and the deadline had passed).
  bool until(WorkerTime deadline);
  // Sleeps for duration; the same results.
  bool sleepFor(std::chrono::milliseconds duration);

 private:
  const EngineFlags& flags_;
  int stopFlag_;
  WorkerClock clock_;
  std::chrono::milliseconds step_;
};

}  // namespace qg
