// The POP3 client the mail fetcher uses on the user's servers: log-in (APOP or
// USER/PASS), STAT, LIST, TOP and RETR into a file, QUIT. Messages are never
// deleted on the server. Runs on the thread that owns the MailSocket.
// Server bytes are read through ReplyReader, which works on any ByteSource,
// so the reply and transfer parsing can be driven from memory as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_state.h"
#include "retrieval/mail_socket.h"

namespace qg {

// Log-in option bits.
namespace pop_option {
// Log-in fails (-3) when the greeting offers no time stamp.
inline constexpr int kApopRequired = 16;
// Use APOP when the greeting offers a time stamp.
inline constexpr int kApopWhenOffered = 32;
}  // namespace pop_option

// Room the fetcher leaves at the start of a transferred file for the staging record line.
inline constexpr std::size_t kStagingReserve = 50;

// True when the first three characters are "+OK", in any letter case.
bool replyIsPositive(std::string_view reply);
// The greeting's time stamp from the first "<" to the first ">" inclusive, when
// the ">" follows the "<" with at least one character between them.
std::optional<std::string_view> greetingTimestamp(std::string_view greeting);
// Word k (1 = first after the status word) of a status line, as a decimal
// number. Words are separated by spaces and end at CR, LF or the end of the
// text. Empty when the word is missing, is not all digits, or is 4294967294 or more.
std::optional<std::uint32_t> replyNumber(std::string_view reply, int k);

// Where server bytes come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Receives at most into.size() bytes. Result: the count, 0 at the end of the
  // stream, or -1 on a failure.
  virtual long receive(std::span<char> into) = 0;
};

enum class TransferEnd {
  Complete,     // the terminating line arrived
  Refused,      // the status line was not positive
  Broken,       // the stream ended or failed before the terminating line
  WriteFailed,  // the sink refused bytes
};

// Splits the server's byte stream into status lines and multi-line answers,
// however the bytes are divided between receives. Bytes received beyond the
// current reply are kept for the next one.
class ReplyReader {
 public:
  // A status line is cut at this many bytes; the rest of it is dropped.
  static constexpr std::size_t kLineLimit = 256;
  // Largest single receive. Far above a status line, so that a large message
  // arrives in few system calls; bytes behind the current reply are kept.
  static constexpr std::size_t kReceiveLimit = 64 * 1024;

  explicit ReplyReader(ByteSource& source) : source_(source) {}

  // Replaces line with the next status line including its CR LF, cut at
  // kLineLimit bytes. Result: the length, or -1 when the stream ended or
  // failed before a byte of it arrived. A line cut short by the end of the
  // stream is returned as far as it came.
  long readLine(std::string& line);
  // Reads a multi-line answer: the status line, then the data up to the
  // terminating "." line, which is never handed on. Data bytes go to sink
  // unchanged (dot-stuffing kept), in pieces; sink returns false to give up.
  TransferEnd readMultiline(const std::function<bool(std::string_view)>& sink);
  // Reads data up to a line that holds only "." (ended by CR LF or LF) as
  // readMultiline does after its status line; the next bytes start a line.
  // Complete, Broken or WriteFailed. Bytes behind the "." line stay buffered.
  TransferEnd readDotTerminated(const std::function<bool(std::string_view)>& sink);
  // Forgets buffered bytes (for a new connection).
  void clear();
  // Receives at most limit bytes at a time (1..kReceiveLimit); tests use 1.
  void setReceiveLimit(std::size_t limit);

 private:
  bool fill();
  bool dropToLineEnd();

  ByteSource& source_;
  std::size_t receiveLimit_ = kReceiveLimit;
  std::vector<char> chunk_;  // one receive, before its bytes join pending_
  std::string pending_;
  bool skipToLineEnd_ = false;
};

class PopClient {
 public:
  explicit PopClient(MailSocket& socket) : socket_(socket), source_(socket), reader_(source_) {}

  // Connects and logs in. options: pop_option bits (33 asks for APOP when
  // offered); flags: the words the socket watches (may be null). Result: 0
  // logged in; -1 connection failed; -2 greeting missing or not positive;
  // -3 APOP required but not offered; -4 a command failed or was refused (also
  // for a user name or password holding CR, LF or NUL, which is never sent).
  int login(const std::string& host, int port, std::string_view user, std::string_view password,
            int options, EngineFlags* flags);
  // Message count, with the total size in totalSize. -1 command failed or
  // refused; -2 a number missing or out of range.
  int stat(std::uint32_t& totalSize);
  // Size of message n (0..4294967293). -1 command failed or refused; -2 a
  // number missing or out of range.
  std::int64_t list(int n);
  // Header (TOP n 0) / whole message (RETR n) into the file at path, after
  // reserve spaces; the file is created or replaced. Result: bytes written
  // after the reserve; -1 file cannot be created or written; -2 command not
  // sent; -3 transfer broke off; -4 reply not positive. Every failure removes
  // the file.
  std::int64_t top(int n, const std::string& path, std::size_t reserve);
  std::int64_t retr(int n, const std::string& path, std::size_t reserve);
  // Sends QUIT when logged in and reads one reply, ignoring it; loggedIn
  // becomes 0. Result: 0.
  int quit();

  // Receives at most limit bytes at a time (tests deliver one byte per receive).
  void setReceiveLimit(std::size_t limit) { reader_.setReceiveLimit(limit); }

 private:
  class SocketSource final : public ByteSource {
   public:
    explicit SocketSource(MailSocket& socket) : socket_(socket) {}
    long receive(std::span<char> into) override { return socket_.receive(into); }

   private:
    MailSocket& socket_;
  };

  int command(std::string_view text);
  std::int64_t transfer(const std::string& commandText, const std::string& path,
                        std::size_t reserve);

  MailSocket& socket_;
  SocketSource source_;
  ReplyReader reader_;
};

}  // namespace qg
