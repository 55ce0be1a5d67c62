#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/file.h"

extern char** environ;

namespace qg::platform {

namespace {

// How often a running child's stop request is asked.
constexpr unsigned kPollMilliseconds = 20;
// How long a child asked to end with SIGTERM gets before SIGKILL.
constexpr unsigned kTermGraceMilliseconds = 1000;

// Owns the spawn attributes and file actions for one posix_spawnp call.
class SpawnSetup {
 public:
  SpawnSetup() {
    attributesReady_ = ::posix_spawnattr_init(&attributes_) == 0;
    actionsReady_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    if (!attributesReady_ || !actionsReady_) return;
    // The agent's threads may block signals; the child starts with none
    // blocked and default handling, in a process group of its own so that
    // a stop can end it together with anything it started.
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigfillset(&defaults);
    ready_ =
        ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
        ::posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
        ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                     POSIX_SPAWN_SETPGROUP) == 0 &&
        ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
        ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
        ::posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0) == 0;
  }
  ~SpawnSetup() {
    if (actionsReady_) ::posix_spawn_file_actions_destroy(&actions_);
    if (attributesReady_) ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  pid_t spawn(const std::string& program, const std::vector<std::string>& arguments) {
    if (!ready_) return -1;
    std::vector<std::string> texts;
    texts.reserve(arguments.size() + 1);
    texts.push_back(program);
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, program.c_str(), &actions_, &attributes_, argv.data(), environ) != 0) {
      return -1;
    }
    return pid;
  }

 private:
  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
  bool attributesReady_ = false;
  bool actionsReady_ = false;
  bool ready_ = false;
};

enum class WaitState { Running, Ended, Gone };

// One non-blocking look at the child. status is set when it has ended.
WaitState pollChild(pid_t pid, int& status) {
  for (;;) {
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) return WaitState::Ended;
    if (got == 0) return WaitState::Running;
    if (errno != EINTR) return WaitState::Gone;  // reaped elsewhere (SIGCHLD ignored)
  }
}

// Ends a child that should stop: SIGTERM to its group, SIGKILL after the
// grace period, and the child is always reaped.
void endChild(pid_t pid) {
  ::kill(-pid, SIGTERM);
  int status = 0;
  for (unsigned waited = 0; waited < kTermGraceMilliseconds; waited += kPollMilliseconds) {
    if (pollChild(pid, status) != WaitState::Running) return;
    sleepMilliseconds(kPollMilliseconds);
  }
  ::kill(-pid, SIGKILL);
  while (pollChild(pid, status) == WaitState::Running) sleepMilliseconds(kPollMilliseconds);
}

}  // namespace

pid_t spawnQuiet(const std::string& program, const std::vector<std::string>& arguments) {
  if (program.empty()) return -1;
  SpawnSetup setup;
  return setup.spawn(program, arguments);
}

ChildResult waitForChild(pid_t pid, const std::function<bool()>& stopRequested) {
  if (pid <= 0) return ChildResult::Failed;
  int status = 0;
  for (;;) {
    const WaitState state = pollChild(pid, status);
    if (state == WaitState::Gone) return ChildResult::Succeeded;  // its status is lost
    if (state == WaitState::Ended) {
      return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ChildResult::Succeeded
                                                           : ChildResult::Failed;
    }
    if (stopRequested && stopRequested()) {
      endChild(pid);
      return ChildResult::Stopped;
    }
    sleepMilliseconds(kPollMilliseconds);
  }
}

ChildResult runQuiet(const std::string& program, const std::vector<std::string>& arguments,
                     const std::function<bool()>& stopRequested) {
  return waitForChild(spawnQuiet(program, arguments), stopRequested);
}

}  // namespace qg::platform
