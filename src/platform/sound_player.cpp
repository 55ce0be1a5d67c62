#include "platform/sound_player.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/child_process.h"
#include "platform/file.h"

namespace qg::platform {

namespace {

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

// How often the fake's endless sound checks its stop request.
constexpr unsigned kFakePollMilliseconds = 20;

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
  switch (runQuiet(program, {fileArgument(file)}, stopRequested)) {
    case ChildResult::Succeeded:
      return PlayResult::Played;
    case ChildResult::Stopped:
      return PlayResult::Stopped;
    case ChildResult::Failed:
      break;
  }
  return PlayResult::Failed;
}

PlayResult FakeSoundPlayer::play(const std::string& file,
                                 const std::function<bool()>& stopRequested) {
  requested.push_back(file);
  if (checkFiles && !isReadableFile(file)) return PlayResult::NoFile;
  if (playUntilStopped) {
    while (!(stopRequested && stopRequested())) sleepMilliseconds(kFakePollMilliseconds);
    return PlayResult::Stopped;
  }
  return result;
}

}  // namespace qg::platform
