// The running-copy check: one agent per home folder. The agent holds an
// exclusive flock on "quillgate.lock" in the home folder for its whole life
// and keeps its process id in the file, so that qgctl can find and signal it.
// Main thread of the agent; runningAgentPid may be called by any process.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace qg::platform {

inline constexpr std::string_view kInstanceLockName = "quillgate.lock";

enum class LockStatus {
  Acquired,     // this process now holds the lock; the file holds its pid
  HeldByOther,  // another agent runs for this home folder
  Failed,       // the lock file could not be created or written
};

class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock of homeFolder without waiting and writes this process's id
  // into the file. Acquired also when this object already holds it.
  LockStatus acquire(const std::string& homeFolder);
  bool held() const { return file_.isOpen(); }
  // Gives the lock up (also done by the destructor and by the process ending).
  // The file stays; an unlocked file means no agent runs.
  void release() { file_.close(); }

 private:
  File file_;
};

// The process id of the agent that holds the lock of homeFolder, or nullopt
// when no agent holds it (file missing or unlocked) or the file does not hold
// a usable id (a number from 2 up: 0, 1 or a negative id would make a signal
// reach a whole process group or every process of the user).
std::optional<long> runningAgentPid(const std::string& homeFolder);

}  // namespace qg::platform
