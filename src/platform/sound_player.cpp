#include "platform/sound_player.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/file.h"

extern char** environ;

namespace qg::platform {

namespace {

// How often a playing sound checks its stop request.
constexpr unsigned kPollMilliseconds = 20;
// How long a player asked to end with SIGTERM gets before SIGKILL.
constexpr unsigned kTermGraceMilliseconds = 1000;

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

bool isReadableFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), R_OK) == 0;
}

// The file as the player's argument: a relative name that begins with "-"
// would be read as an option, so it gets a leading "./".
std::string fileArgument(const std::string& file) {
  return file.front() == '-' ? "./" + file : file;
}

// Owns the spawn attributes and file actions for one posix_spawn call.
class SpawnSetup {
 public:
  SpawnSetup() {
    attributesReady_ = ::posix_spawnattr_init(&attributes_) == 0;
    actionsReady_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    if (!attributesReady_ || !actionsReady_) return;
    // The agent's threads may block signals; the player starts with none
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

  bool ready() const { return ready_; }
  // The child's id, or -1 when it could not be started.
  pid_t spawn(const std::string& program, const std::string& argument) {
    std::string arg0 = program;
    std::string arg1 = argument;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions_, &attributes_, argv, environ) != 0) {
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

// Ends a player that should stop: SIGTERM to its group, SIGKILL after the
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

LinuxSoundPlayer::LinuxSoundPlayer() {
  const char* chosen = std::getenv("QUILLGATE_PLAYER");
  if (chosen != nullptr && *chosen != '\0') candidates_.emplace_back(chosen);
  for (const char* name : kDefaultPlayers) candidates_.emplace_back(name);
  const char* path = std::getenv("PATH");
  searchPath_ = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
}

LinuxSoundPlayer::LinuxSoundPlayer(std::vector<std::string> candidates, std::string searchPath)
    : candidates_(std::move(candidates)), searchPath_(std::move(searchPath)) {}

std::string LinuxSoundPlayer::findPlayer() const {
  for (const std::string& candidate : candidates_) {
    if (candidate.empty()) continue;
    if (candidate.find('/') != std::string::npos) {
      if (isExecutableFile(candidate)) return candidate;
      continue;
    }
    std::string_view rest = searchPath_;
    while (true) {
      const std::size_t colon = rest.find(':');
      const std::string_view folder = rest.substr(0, colon);
      if (!folder.empty()) {
        std::string full(folder);
        if (full.back() != '/') full += '/';
        full += candidate;
        if (isExecutableFile(full)) return full;
      }
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return {};
}

PlayResult LinuxSoundPlayer::play(const std::string& file,
                                  const std::function<bool()>& stopRequested) {
  if (!isReadableFile(file)) return PlayResult::NoFile;
  const std::string program = findPlayer();
  if (program.empty()) return PlayResult::NoPlayer;
  SpawnSetup setup;
  if (!setup.ready()) return PlayResult::Failed;
  const pid_t pid = setup.spawn(program, fileArgument(file));
  if (pid <= 0) return PlayResult::Failed;
  int status = 0;
  for (;;) {
    const WaitState state = pollChild(pid, status);
    if (state == WaitState::Gone) return PlayResult::Played;  // ended; its status is lost
    if (state == WaitState::Ended) {
      return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? PlayResult::Played
                                                           : PlayResult::Failed;
    }
    if (stopRequested && stopRequested()) {
      endChild(pid);
      return PlayResult::Stopped;
    }
    sleepMilliseconds(kPollMilliseconds);
  }
}

PlayResult FakeSoundPlayer::play(const std::string& file,
                                 const std::function<bool()>& stopRequested) {
  requested.push_back(file);
  if (checkFiles && !isReadableFile(file)) return PlayResult::NoFile;
  if (playUntilStopped) {
    while (!(stopRequested && stopRequested())) sleepMilliseconds(kPollMilliseconds);
    return PlayResult::Stopped;
  }
  return result;
}

}  // namespace qg::platform
