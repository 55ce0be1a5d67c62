#include "platform/dns_tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qg::platform {

namespace {

std::optional<in_addr> ipv4Of(std::string_view host) {
  const std::string name(host);
  in_addr address{};
  if (inet_pton(AF_INET, name.c_str(), &address) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return {};
  address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
  freeaddrinfo(list);
  return address;
}

}  // namespace

DnsTcpSocket::DnsTcpSocket() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) error_ = errno;
}

DnsTcpSocket::~DnsTcpSocket() {
  close();
}

void DnsTcpSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int DnsTcpSocket::wait(short events, int timeoutMs) {
  pollfd entry{fd_, events, 0};
  for (;;) {
    const int n = ::poll(&entry, 1, timeoutMs);
    if (n > 0) return 1;
    if (n == 0) {
      error_ = ETIMEDOUT;
      return 0;
    }
    if (errno != EINTR) {
      error_ = errno;
      return 0;
    }
  }
}

int DnsTcpSocket::connectTo(std::string_view host, std::uint16_t port, int timeoutMs) {
  if (fd_ < 0) return 0;
  const std::optional<in_addr> address = ipv4Of(host);
  if (!address) {
    error_ = EINVAL;
    return 0;
  }
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr = *address;
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return 1;
  if (errno != EINPROGRESS) {
    error_ = errno;
    return 0;
  }
  if (wait(POLLOUT, timeoutMs) == 0) return 0;
  int result = 0;
  socklen_t size = sizeof result;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
  if (result != 0) {
    error_ = result;
    return 0;
  }
  return 1;
}

std::size_t DnsTcpSocket::sendAll(std::span<const std::uint8_t> bytes, int timeoutMs) {
  std::size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (wait(POLLOUT, timeoutMs) == 0) break;
    } else {
      error_ = n < 0 ? errno : EPIPE;
      break;
    }
  }
  return sent;
}

std::size_t DnsTcpSocket::receiveExact(std::span<std::uint8_t> bytes, int timeoutMs) {
  std::size_t received = 0;
  while (fd_ >= 0 && received < bytes.size()) {
    const ssize_t n = ::recv(fd_, bytes.data() + received, bytes.size() - received, 0);
    if (n > 0) {
      received += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (wait(POLLIN, timeoutMs) == 0) break;
    } else {
      error_ = n < 0 ? errno : ECONNRESET;
      break;
    }
  }
  return received;
}

std::string DnsTcpSocket::lastErrorText() const {
  char buffer[256] = {};
  // GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(error_, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string();
}

std::optional<std::string> firstIpv4Address(std::string_view host) {
  if (host.empty()) return {};
  const std::optional<in_addr> address = ipv4Of(host);
  if (!address) return {};
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &*address, text, sizeof text) == nullptr) return {};
  return std::string(text);
}

}  // namespace qg::platform
