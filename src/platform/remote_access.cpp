#include "platform/remote_access.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <utility>

#include "platform/child_process.h"

namespace qg::platform {

namespace {

std::string environmentText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// A hang-up command that never ends is given up (and ended) after this long,
// so that a stop of the fetcher cannot hang on it.
constexpr auto kHangUpLimit = std::chrono::seconds(30);

}  // namespace

LinuxRemoteAccess::LinuxRemoteAccess(std::string offlineFile)
    : LinuxRemoteAccess(std::move(offlineFile), environmentText("QUILLGATE_DIAL_CMD"),
                        environmentText("QUILLGATE_HANGUP_CMD")) {}

LinuxRemoteAccess::LinuxRemoteAccess(std::string offlineFile, std::string dialCommand,
                                     std::string hangUpCommand)
    : offlineFile_(std::move(offlineFile)),
      dialCommand_(std::move(dialCommand)),
      hangUpCommand_(std::move(hangUpCommand)) {}

bool LinuxRemoteAccess::connected() const {
  if (offlineFile_.empty()) return true;
  struct stat info {};
  return ::lstat(offlineFile_.c_str(), &info) != 0;
}

bool LinuxRemoteAccess::dial(const DialRequest& request,
                             const std::function<bool()>& stopRequested) {
  if (dialCommand_.empty()) return false;
  if (runQuiet(dialCommand_, {request.entry, request.number, request.user, request.password},
               stopRequested) != ChildResult::Succeeded) {
    return false;
  }
  return connected();
}

void LinuxRemoteAccess::hangUp() {
  if (hangUpCommand_.empty()) return;
  const auto giveUp = std::chrono::steady_clock::now() + kHangUpLimit;
  runQuiet(hangUpCommand_, {}, [giveUp] { return std::chrono::steady_clock::now() >= giveUp; });
}

bool FakeRemoteAccess::dial(const DialRequest& request,
                            const std::function<bool()>& /*stopRequested*/) {
  ++dials;
  lastDial = request;
  if (!dialSucceeds.load()) return false;
  online = true;
  return true;
}

void FakeRemoteAccess::hangUp() {
  ++hangUps;
  online = false;
}

}  // namespace qg::platform
