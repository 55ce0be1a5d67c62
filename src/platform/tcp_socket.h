// Thin POSIX layer over IPv4 stream sockets: an owned non-blocking descriptor,
// a connect that can be waited on, single non-blocking sends and receives, a
// bounded poll(), and listening/accepting on 127.0.0.1. The only place that
// calls the socket API. A TcpSocket belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qg::platform {

// Result of one non-blocking send or receive that moved no data.
inline constexpr long kWouldBlock = -2;

enum class SocketEvent { Readable, Writable };
enum class WaitResult { Ready, TimedOut, Failed };
enum class ConnectStatus { Connected, InProgress, Failed };
enum class AcceptStatus { Accepted, WouldBlock, Failed };

class TcpSocket {
 public:
  TcpSocket() = default;
  // Adopts fd and makes it non-blocking.
  explicit TcpSocket(int fd);
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void close();

  // Resolves host (a dotted IPv4 address or a name, through getaddrinfo) and
  // starts a non-blocking connect to its first IPv4 address. Name resolution
  // itself blocks. InProgress: wait for Writable, then ask connectResult().
  ConnectStatus beginConnect(const std::string& host, int port);
  // True when the connect started by beginConnect has completed without error.
  bool connectResult() const { return connectError() == 0; }
  // The error of the connect started by beginConnect: 0 when it succeeded, an
  // errno value when it failed (EBADF without a socket).
  int connectError() const;

  // Binds 127.0.0.1:port (0: a port chosen by the kernel) and listens.
  bool listenLoopback(int port, int backlog = 64);
  // Port the socket is bound to locally, 0 when unknown.
  int localPort() const;
  // Takes one waiting connection into out (non-blocking).
  AcceptStatus accept(TcpSocket& out);

  // One send / receive call without blocking. Results: bytes moved (a receive
  // gives 0 when the peer closed), kWouldBlock, or -1 on an error. Sends never
  // raise SIGPIPE.
  long sendSome(const void* data, std::size_t size);
  long receiveSome(void* buffer, std::size_t size);
  // Closes the sending direction (the peer reads end of stream).
  void shutdownSend();

  // Waits up to timeoutMs for the event. Ready also when the socket is in an
  // error or hang-up state: the next operation reports it.
  WaitResult waitFor(SocketEvent event, int timeoutMs) const;

  // A connected pair of local stream sockets (for in-process peers).
  static bool makePair(TcpSocket& first, TcpSocket& second);

 private:
  int fd_ = -1;
};

}  // namespace qg::platform
