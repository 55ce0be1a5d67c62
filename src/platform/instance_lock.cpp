#include "platform/instance_lock.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <climits>

namespace qg::platform {

namespace {

std::string lockPath(const std::string& homeFolder) {
  return homeFolder + "/" + std::string(kInstanceLockName);
}

// A pid written by an agent: decimal digits and an optional line end.
std::optional<long> parsePid(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < 2 || value > INT_MAX) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

LockStatus InstanceLock::acquire(const std::string& homeFolder) {
  if (held()) return LockStatus::Acquired;
  File file;
  switch (openLocked(lockPath(homeFolder), true, file, 0644)) {
    case OpenStatus::Opened:
      break;
    case OpenStatus::Busy:
      return LockStatus::HeldByOther;
    default:
      return LockStatus::Failed;
  }
  const std::string text = std::to_string(static_cast<long>(::getpid())) + "\n";
  if (!file.truncate(0) || !file.seek(0) || !file.writeAll(text.data(), text.size())) {
    return LockStatus::Failed;
  }
  file_ = std::move(file);
  return LockStatus::Acquired;
}

std::optional<long> runningAgentPid(const std::string& homeFolder) {
  const std::string path = lockPath(homeFolder);
  // An agent writes its id just after taking the lock: a locked file that is
  // still empty is read again for a short while.
  constexpr int kAttempts = 20;
  constexpr unsigned kPauseMs = 50;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    File probe;
    const OpenStatus status = openLocked(path, false, probe);
    if (status == OpenStatus::Opened || status == OpenStatus::Missing) return std::nullopt;
    if (status != OpenStatus::Busy) return std::nullopt;
    File reader = openShared(path);
    if (!reader.isOpen()) return std::nullopt;
    std::array<char, 32> buffer{};
    const long count = reader.readFull(buffer.data(), buffer.size());
    if (count > 0) {
      if (static_cast<std::size_t>(count) >= buffer.size()) return std::nullopt;
      return parsePid(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
    }
    sleepMilliseconds(kPauseMs);
  }
  return std::nullopt;
}

}  // namespace qg::platform
