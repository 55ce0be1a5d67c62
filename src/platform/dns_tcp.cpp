#include "platform/dns_tcp.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

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

bool DnsTcpSocket::wait(SocketEvent event, int timeoutMs) {
  errno = 0;
  switch (socket_.waitFor(event, timeoutMs)) {
    case WaitResult::Ready:
      return true;
    case WaitResult::TimedOut:
      error_ = ETIMEDOUT;
      return false;
    case WaitResult::Failed:
      error_ = errno != 0 ? errno : EIO;
      return false;
  }
  return false;
}

int DnsTcpSocket::connectTo(std::string_view host, std::uint16_t port, int timeoutMs) {
  errno = 0;
  switch (socket_.beginConnect(std::string(host), port)) {
    case ConnectStatus::Connected:
      return 1;
    case ConnectStatus::Failed:
      // A name that does not resolve leaves no errno of its own.
      error_ = errno != 0 ? errno : EINVAL;
      return 0;
    case ConnectStatus::InProgress:
      break;
  }
  if (!wait(SocketEvent::Writable, timeoutMs)) return 0;
  error_ = socket_.connectError();
  return error_ == 0 ? 1 : 0;
}

std::size_t DnsTcpSocket::sendAll(std::span<const std::uint8_t> bytes, int timeoutMs) {
  std::size_t sent = 0;
  while (socket_.isOpen() && sent < bytes.size()) {
    errno = 0;
    const long n = socket_.sendSome(bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n == kWouldBlock) {
      if (!wait(SocketEvent::Writable, timeoutMs)) break;
    } else {
      error_ = errno != 0 ? errno : EPIPE;
      break;
    }
  }
  return sent;
}

std::size_t DnsTcpSocket::receiveExact(std::span<std::uint8_t> bytes, int timeoutMs) {
  std::size_t received = 0;
  while (socket_.isOpen() && received < bytes.size()) {
    errno = 0;
    const long n = socket_.receiveSome(bytes.data() + received, bytes.size() - received);
    if (n > 0) {
      received += static_cast<std::size_t>(n);
    } else if (n == kWouldBlock) {
      if (!wait(SocketEvent::Readable, timeoutMs)) break;
    } else {
      error_ = n < 0 && errno != 0 ? errno : ECONNRESET;
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
