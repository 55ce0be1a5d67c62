// Starting an outside program without a shell and waiting for it: the sound
// player and the remote-access commands. Every call belongs to the thread
// that makes it; a child is always reaped by the thread that started it.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace qg::platform {

enum class ChildResult {
  Succeeded,  // the program ran and ended with status 0
  Failed,     // it could not be started, or ended with another status or a signal
  Stopped,    // stopRequested turned true; the program (and its group) was ended
};

// Starts program (searched along $PATH when it has no "/") with arguments as
// argv[1..], stdin, stdout and stderr on /dev/null, no signals blocked and in
// a process group of its own. Result: the child's id, or -1.
pid_t spawnQuiet(const std::string& program, const std::vector<std::string>& arguments);

// Waits for a child started by spawnQuiet. stopRequested (may be empty) is
// asked every few milliseconds; when it turns true the child's group gets
// SIGTERM, then SIGKILL after a second, and the result is Stopped. A child
// reaped elsewhere (SIGCHLD ignored) counts as Succeeded.
ChildResult waitForChild(pid_t pid, const std::function<bool()>& stopRequested);

// spawnQuiet followed by waitForChild.
ChildResult runQuiet(const std::string& program, const std::vector<std::string>& arguments,
                     const std::function<bool()>& stopRequested);

}  // namespace qg::platform
