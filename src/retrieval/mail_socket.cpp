#include "retrieval/mail_socket.h"

#include <algorithm>

namespace qg {

namespace {

// Marks the socket busy for one call; a second call finds it taken.
class BusyGuard {
 public:
  explicit BusyGuard(std::atomic<bool>& busy) : busy_(busy) {
    taken_ = !busy_.exchange(true, std::memory_order_acq_rel);
  }
  ~BusyGuard() {
    if (taken_) busy_.store(false, std::memory_order_release);
  }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;
  bool taken() const { return taken_; }

 private:
  std::atomic<bool>& busy_;
  bool taken_ = false;
};

}  // namespace

void MailSocket::startDeadline() {
  deadline_ = Clock::now() +
              (timeoutMilliseconds > 0
                   ? std::chrono::milliseconds(timeoutMilliseconds)
                   : std::chrono::milliseconds(std::chrono::seconds(std::max(timeoutSeconds, 0))));
  lastError_.store(SocketError::None, std::memory_order_relaxed);
}

bool MailSocket::stopRequested() const {
  return (flags != nullptr && flags->get(flag::kFetcherStop) != 0 &&
          flags->get(flag::kFetcherBox) != 0) ||
         (stopTest && stopTest());
}

bool MailSocket::checkStop() {
  if (!stopRequested()) return true;
  lastError_.store(SocketError::Interrupted, std::memory_order_relaxed);
  return false;
}

bool MailSocket::wait(platform::SocketEvent event) {
  for (;;) {
    auto now = Clock::now();
    if (now >= deadline_) {
      lastError_.store(SocketError::TimedOut, std::memory_order_relaxed);
      return false;
    }
    if (!checkStop()) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count();
    // Round up so a wait never spins on a deadline less than a millisecond away.
    int step = static_cast<int>(std::min<long long>(left + 1, std::max(wakeMilliseconds, 1)));
    switch (socket_.waitFor(event, step)) {
      case platform::WaitResult::Ready:
        return true;
      case platform::WaitResult::TimedOut:
        continue;
      case platform::WaitResult::Failed:
        lastError_.store(SocketError::Failed, std::memory_order_relaxed);
        return false;
    }
  }
}

bool MailSocket::connect(const std::string& host, int port) {
  BusyGuard guard(busy_);
  if (!guard.taken()) {
    lastError_.store(SocketError::InProgress, std::memory_order_relaxed);
    return false;
  }
  startDeadline();
  switch (socket_.beginConnect(host, port)) {
    case platform::ConnectStatus::Connected:
      return true;
    case platform::ConnectStatus::Failed:
      lastError_.store(SocketError::Failed, std::memory_order_relaxed);
      return false;
    case platform::ConnectStatus::InProgress:
      break;
  }
  if (wait(platform::SocketEvent::Writable) && socket_.connectResult()) return true;
  if (lastError_.load(std::memory_order_relaxed) == SocketError::None)
    lastError_.store(SocketError::Failed, std::memory_order_relaxed);
  socket_.close();
  return false;
}

bool MailSocket::listenLoopback(int port) {
  lastError_.store(SocketError::None, std::memory_order_relaxed);
  if (socket_.listenLoopback(port)) return true;
  lastError_.store(SocketError::Failed, std::memory_order_relaxed);
  return false;
}

long MailSocket::sendText(std::string_view text) {
  BusyGuard guard(busy_);
  if (!guard.taken()) {
    lastError_.store(SocketError::InProgress, std::memory_order_relaxed);
    return -1;
  }
  startDeadline();
  std::size_t done = 0;
  while (done < text.size()) {
    if (!checkStop()) return -1;
    long sent = socket_.sendSome(text.data() + done, text.size() - done);
    if (sent > 0) {
      done += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent == platform::kWouldBlock || sent == 0) {
      if (!wait(platform::SocketEvent::Writable)) return -1;
      continue;
    }
    lastError_.store(SocketError::Failed, std::memory_order_relaxed);
    return -1;
  }
  return static_cast<long>(done);
}

long MailSocket::receive(std::span<char> buffer) {
  BusyGuard guard(busy_);
  if (!guard.taken()) {
    lastError_.store(SocketError::InProgress, std::memory_order_relaxed);
    return -1;
  }
  startDeadline();
  if (buffer.empty()) return 0;
  // A peer that keeps sending never lets the call wait, so the stop flags are
  // looked at here too: a stop ends a large transfer at once, not at its end.
  if (!checkStop()) return -1;
  for (;;) {
    long got = socket_.receiveSome(buffer.data(), buffer.size());
    if (got >= 0) return got;
    if (got != platform::kWouldBlock) {
      lastError_.store(SocketError::Failed, std::memory_order_relaxed);
      return -1;
    }
    if (!wait(platform::SocketEvent::Readable)) return -1;
  }
}

long MailSocket::receiveText(std::string& buffer) {
  buffer.assign(kTextLimit, '\0');
  long got = receive(buffer);
  buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return got > 0 ? got : -1;
}

int MailSocket::acceptWaiting(MailSocket& into) {
  BusyGuard guard(busy_);
  if (!guard.taken()) {
    lastError_.store(SocketError::InProgress, std::memory_order_relaxed);
    return 0;
  }
  lastError_.store(SocketError::None, std::memory_order_relaxed);
  platform::TcpSocket accepted;
  auto status = socket_.accept(accepted);
  if (status == platform::AcceptStatus::WouldBlock &&
      socket_.waitFor(platform::SocketEvent::Readable, kWakeMilliseconds) ==
          platform::WaitResult::Ready) {
    status = socket_.accept(accepted);
  }
  if (status != platform::AcceptStatus::Accepted) {
    if (status == platform::AcceptStatus::Failed)
      lastError_.store(SocketError::Failed, std::memory_order_relaxed);
    return 0;
  }
  into.socket_ = std::move(accepted);
  into.loggedIn = 0;
  return 1;
}

}  // namespace qg
