#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qg::platform {

namespace {

bool makeNonBlocking(int fd) {
  int mode = ::fcntl(fd, F_GETFL, 0);
  return mode >= 0 && ::fcntl(fd, F_SETFL, mode | O_NONBLOCK) == 0;
}

}  // namespace

TcpSocket::TcpSocket(int fd) : fd_(fd) {
  if (fd_ >= 0) makeNonBlocking(fd_);
}

TcpSocket::~TcpSocket() {
  close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void TcpSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

ConnectStatus TcpSocket::beginConnect(const std::string& host, int port) {
  close();
  if (port <= 0 || port > 65535 || host.empty()) return ConnectStatus::Failed;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr)
    return ConnectStatus::Failed;
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);

  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return ConnectStatus::Failed;
  int rc;
  do {
    rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return ConnectStatus::Connected;
  if (errno == EINPROGRESS) return ConnectStatus::InProgress;
  close();
  return ConnectStatus::Failed;
}

int TcpSocket::connectError() const {
  if (fd_ < 0) return EBADF;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

bool TcpSocket::listenLoopback(int port, int backlog) {
  close();
  if (port < 0 || port > 65535) return false;
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  int reuse = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, backlog) != 0) {
    close();
    return false;
  }
  return true;
}

int TcpSocket::localPort() const {
  if (fd_ < 0) return 0;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.sin_family != AF_INET) return 0;
  return ntohs(address.sin_port);
}

AcceptStatus TcpSocket::accept(TcpSocket& out) {
  if (fd_ < 0) return AcceptStatus::Failed;
  for (;;) {
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      out = TcpSocket(fd);
      return AcceptStatus::Accepted;
    }
    if (errno == EINTR) continue;
    // A connection that was reset while queued is not an error of the listener.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED)
      return AcceptStatus::WouldBlock;
    return AcceptStatus::Failed;
  }
}

long TcpSocket::sendSome(const void* data, std::size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<long>(sent);
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : -1;
  }
}

long TcpSocket::receiveSome(void* buffer, std::size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t got = ::recv(fd_, buffer, size, 0);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : -1;
  }
}

void TcpSocket::shutdownSend() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

WaitResult TcpSocket::waitFor(SocketEvent event, int timeoutMs) const {
  if (fd_ < 0) return WaitResult::Failed;
  pollfd entry{};
  entry.fd = fd_;
  entry.events = event == SocketEvent::Readable ? POLLIN : POLLOUT;
  int rc = ::poll(&entry, 1, timeoutMs < 0 ? 0 : timeoutMs);
  if (rc > 0) return (entry.revents & POLLNVAL) ? WaitResult::Failed : WaitResult::Ready;
  if (rc == 0 || errno == EINTR) return WaitResult::TimedOut;
  return WaitResult::Failed;
}

bool TcpSocket::makePair(TcpSocket& first, TcpSocket& second) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  first = TcpSocket(fds[0]);
  second = TcpSocket(fds[1]);
  return true;
}

}  // namespace qg::platform
