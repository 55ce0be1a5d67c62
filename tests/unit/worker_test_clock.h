// A worker clock for tests: time moves only when the worker sleeps (or the
// test moves it), and every sleep is recorded. Used on one thread.
#pragma once

#include <chrono>
#include <vector>

#include "engine/stop_wait.h"

namespace qg {

struct FakeWorkerClock {
  WorkerTime time = WorkerTime{} + std::chrono::hours(1);
  std::vector<std::chrono::milliseconds> sleeps;

  // The clock refers to this object, which must outlive its users.
  WorkerClock workerClock() {
    return {[this] { return time; },
            [this](std::chrono::milliseconds duration) {
              sleeps.push_back(duration);
              time += duration;
            }};
  }
};

}  // namespace qg
