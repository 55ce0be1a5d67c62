// The TCP socket of the DNS client and the system resolver's IPv4 lookup: whole
// sends and exact receives over a TcpSocket, each waiting with poll() up to its
// own time-out, so a silent peer cannot hang the caller. One object per thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"

namespace qg::platform {

class DnsTcpSocket {
 public:
  // Connects to host (dotted IPv4, else the system resolver's first IPv4
  // address) on port, waiting at most timeoutMs. Returns 1, or 0 with
  // lastError() set (EINVAL when the name does not resolve, ETIMEDOUT).
  int connectTo(std::string_view host, std::uint16_t port, int timeoutMs);
  // Sends every byte, waiting at most timeoutMs for the socket to take more.
  // Returns the number of bytes sent (fewer than asked on error or time-out).
  std::size_t sendAll(std::span<const std::uint8_t> bytes, int timeoutMs);
  // Receives exactly bytes.size() bytes unless the peer closes, fails or is
  // silent for timeoutMs. Returns the number received.
  std::size_t receiveExact(std::span<std::uint8_t> bytes, int timeoutMs);
  void close() { socket_.close(); }

  int lastError() const { return error_; }
  // The system's message text for lastError().
  std::string lastErrorText() const;

 private:
  // Waits for event; false with lastError() set when it times out or fails.
  bool wait(SocketEvent event, int timeoutMs);

  TcpSocket socket_;
  int error_ = 0;
};

// The first IPv4 address the system resolver gives for host, in dotted
// decimal; no result when it does not resolve.
std::optional<std::string> firstIpv4Address(std::string_view host);

}  // namespace qg::platform
