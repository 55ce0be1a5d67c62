// The stream socket of the line protocols (POP3 client, local POP3 and SMTP
// servers): blocking calls built on non-blocking I/O and poll(), each send and
// receive bounded by an absolute deadline, and every wait given up when the
// fetcher is told to stop while it fetches a box (flags 41 and 42), or when
// the socket's own stop test says so (the local servers' stop words): at every
// wake-up of a wait and at the start of every send and receive.
// A MailSocket belongs to the thread that uses it; a call made while another
// call on the same socket waits fails at once (SocketError::InProgress).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "engine/engine_state.h"
#include "platform/tcp_socket.h"

namespace qg {

// Why the last call of a MailSocket failed.
enum class SocketError {
  None,
  InProgress,   // another call on this socket was waiting
  Interrupted,  // flags 41 and 42 were both set, or the stop test held, during the wait
  TimedOut,     // the call's deadline passed
  Failed,       // the system refused the operation (reset, refused, no name, ...)
};

class MailSocket {
 public:
  static constexpr int kDefaultTimeoutSeconds = 230;
  // A wait wakes at least this often to look at the deadline and the flags.
  static constexpr int kWakeMilliseconds = 2000;
  // The command/reply buffer holds at most this many bytes of text.
  static constexpr std::size_t kTextLimit = 256;

  MailSocket() = default;
  // Adopts an already connected socket (an accepted one, or one end of a pair).
  explicit MailSocket(platform::TcpSocket socket) : socket_(std::move(socket)) {}
  MailSocket(const MailSocket&) = delete;
  MailSocket& operator=(const MailSocket&) = delete;

  // Connects to host:port (IPv4). Connection set-up is bounded by timeoutSeconds
  // and by the stop flags like any wait. False on failure (see lastError()).
  bool connect(const std::string& host, int port);
  // Listens on 127.0.0.1:port; port 0 lets the kernel choose (see localPort()).
  bool listenLoopback(int port);
  int localPort() const { return socket_.localPort(); }

  // Sends every byte of text. Result: the byte count, or -1.
  long sendText(std::string_view text);
  // Receives at most buffer.size() bytes. Result: the count, 0 when the peer
  // closed, or -1.
  long receive(std::span<char> buffer);
  // Receives at most kTextLimit bytes into buffer (replacing its content).
  // Result: the count, or -1 when nothing arrived (closed or failed).
  long receiveText(std::string& buffer);
  // Accepts a waiting connection into into. When none waits, waits once (at
  // most kWakeMilliseconds) for one. Result: 1 accepted, 0 nothing accepted.
  int acceptWaiting(MailSocket& into);
  void close() { socket_.close(); }
  bool isOpen() const { return socket_.isOpen(); }
  // Ends the sending direction; the peer reads the end of the stream.
  void shutdownSend() { socket_.shutdownSend(); }

  SocketError lastError() const { return lastError_.load(std::memory_order_relaxed); }

  // The command being sent or the reply just received (POP3 client, servers).
  std::string lineBuffer;
  // 1 after a successful log-in of the POP3 client; QUIT is sent only then.
  int loggedIn = 0;
  // Log-in option bits of the POP3 client.
  int options = 0;
  // Flag words watched while waiting; null: only the deadline ends a wait.
  EngineFlags* flags = nullptr;
  // Looked at as the flags are; a wait ends when it returns true. Empty: none.
  std::function<bool()> stopTest;
  // A wait wakes at least this often (milliseconds) to look at the stop tests.
  int wakeMilliseconds = kWakeMilliseconds;
  // Length of one send, receive or connect; 230 when constructed.
  int timeoutSeconds = kDefaultTimeoutSeconds;
  // When above 0, the length of one call in milliseconds instead of
  // timeoutSeconds (the local servers' silence limit).
  int timeoutMilliseconds = 0;

 private:
  using Clock = std::chrono::steady_clock;

  void startDeadline();
  bool wait(platform::SocketEvent event);
  bool stopRequested() const;
  // False, with the error Interrupted, when flags 41 and 42 are both set or
  // the stop test holds.
  bool checkStop();

  platform::TcpSocket socket_;
  Clock::time_point deadline_{};
  std::atomic<bool> busy_{false};
  std::atomic<SocketError> lastError_{SocketError::None};
};

}  // namespace qg
