#include "retrieval/pop3_client.h"

#include <algorithm>
#include <cstring>

#include "engine/file_primitives.h"
#include "retrieval/apop_digest.h"

namespace qg {

namespace {

// Sizes from here up cannot be told apart from the server's "unknown" values.
constexpr std::uint64_t kNumberLimit = 4294967294ULL;

bool isLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// A user name or password that would end the command line early, or start another.
bool breaksCommandLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

bool replyIsPositive(std::string_view reply) {
  if (reply.size() < 3) return false;
  auto upper = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
  return reply[0] == '+' && upper(reply[1]) == 'O' && upper(reply[2]) == 'K';
}

std::optional<std::string_view> greetingTimestamp(std::string_view greeting) {
  std::size_t open = greeting.find('<');
  std::size_t close = greeting.find('>');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2)
    return std::nullopt;
  return greeting.substr(open, close - open + 1);
}

std::optional<std::uint32_t> replyNumber(std::string_view reply, int k) {
  std::size_t end = 0;
  while (end < reply.size() && !isLineEnd(reply[end])) ++end;
  std::string_view line = reply.substr(0, end);
  std::size_t pos = 0;
  std::string_view word;
  for (int index = 0; index <= k; ++index) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
    word = line.substr(start, pos - start);
    if (word.empty()) return std::nullopt;
  }
  std::uint64_t value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value >= kNumberLimit) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

// --- ReplyReader -------------------------------------------------------------

void ReplyReader::clear() {
  pending_.clear();
  skipToLineEnd_ = false;
}

void ReplyReader::setReceiveLimit(std::size_t limit) {
  receiveLimit_ = std::clamp<std::size_t>(limit, 1, kReceiveLimit);
}

bool ReplyReader::fill() {
  if (chunk_.size() < receiveLimit_) chunk_.resize(receiveLimit_);
  long got = source_.receive(std::span<char>(chunk_.data(), receiveLimit_));
  if (got <= 0) return false;
  pending_.append(chunk_.data(),
                  static_cast<std::size_t>(std::min<long>(got, long(receiveLimit_))));
  return true;
}

bool ReplyReader::dropToLineEnd() {
  for (;;) {
    std::size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      pending_.erase(0, lf + 1);
      skipToLineEnd_ = false;
      return true;
    }
    pending_.clear();
    if (!fill()) return false;
  }
}

long ReplyReader::readLine(std::string& line) {
  line.clear();
  // The tail of an earlier over-long line is dropped only now, so that the
  // earlier reply did not wait for bytes the server may never send.
  if (skipToLineEnd_ && !dropToLineEnd()) return -1;
  for (;;) {
    std::size_t lf = pending_.find('\n');
    std::size_t available = lf == std::string::npos ? pending_.size() : lf + 1;
    std::size_t room = kLineLimit - line.size();
    if (available > room || (available == room && lf == std::string::npos)) {
      line.append(pending_, 0, room);
      if (lf != std::string::npos && available > room) {
        pending_.erase(0, lf + 1);
      } else {
        pending_.erase(0, room);
        skipToLineEnd_ = true;
      }
      return static_cast<long>(line.size());
    }
    line.append(pending_, 0, available);
    pending_.erase(0, available);
    if (lf != std::string::npos) return static_cast<long>(line.size());
    if (!fill()) return line.empty() ? -1 : static_cast<long>(line.size());
  }
}

TransferEnd ReplyReader::readMultiline(const std::function<bool(std::string_view)>& sink) {
  std::string status;
  if (readLine(status) < 0) return TransferEnd::Broken;
  if (!replyIsPositive(status)) return TransferEnd::Refused;
  // A status line cut short by the end of the stream leaves nothing to read:
  // the first fill below reports the break.
  if (skipToLineEnd_ && !dropToLineEnd()) return TransferEnd::Broken;
  return readDotTerminated(sink);
}

TransferEnd ReplyReader::readDotTerminated(const std::function<bool(std::string_view)>& sink) {
  // Where the scan stands in the current line. A "." at the start of a line is
  // held back until the next bytes show whether it ends the answer.
  enum class At { LineStart, InLine, Dot, DotCr } at = At::LineStart;
  std::string out;
  for (;;) {
    out.clear();
    const char* bytes = pending_.data();
    const std::size_t size = pending_.size();
    std::size_t used = 0;
    bool done = false;
    while (used < size && !done) {
      const char c = bytes[used];
      switch (at) {
        case At::LineStart:
          if (c == '.') {
            at = At::Dot;
            ++used;
          } else {
            at = At::InLine;
          }
          break;
        case At::InLine: {
          // The rest of the line goes out unchanged in one piece.
          const void* lf = std::memchr(bytes + used, '\n', size - used);
          const std::size_t end =
              lf == nullptr ? size
                            : static_cast<std::size_t>(static_cast<const char*>(lf) - bytes) + 1;
          out.append(bytes + used, end - used);
          used = end;
          if (lf != nullptr) at = At::LineStart;
          break;
        }
        case At::Dot:
          if (c == '\n') {
            done = true;
            ++used;
          } else if (c == '\r') {
            at = At::DotCr;
            ++used;
          } else {
            // A dot-stuffed or other line: the dot is data, c is looked at again.
            out.push_back('.');
            at = At::InLine;
          }
          break;
        case At::DotCr:
          if (c == '\n') {
            done = true;
            ++used;
          } else {
            out.append(".\r");
            at = At::InLine;
          }
          break;
      }
    }
    pending_.erase(0, used);
    if (!out.empty() && !sink(out)) return TransferEnd::WriteFailed;
    if (done) return TransferEnd::Complete;
    if (!fill()) return TransferEnd::Broken;
  }
}

// --- PopClient ---------------------------------------------------------------

int PopClient::command(std::string_view text) {
  socket_.lineBuffer.assign(text);
  if (socket_.sendText(socket_.lineBuffer) < 0) return -3;
  if (reader_.readLine(socket_.lineBuffer) < 0) return -1;
  if (!replyIsPositive(socket_.lineBuffer)) return -2;
  return socket_.lineBuffer.size() > 3 ? static_cast<unsigned char>(socket_.lineBuffer[3]) : 0;
}

int PopClient::login(const std::string& host, int port, std::string_view user,
                     std::string_view password, int options, EngineFlags* flags) {
  socket_.flags = flags;
  socket_.options = options;
  socket_.loggedIn = 0;
  reader_.clear();
  if (!socket_.connect(host, port)) return -1;

  if (reader_.readLine(socket_.lineBuffer) < 0 || !replyIsPositive(socket_.lineBuffer)) return -2;
  std::optional<std::string_view> stamp = greetingTimestamp(socket_.lineBuffer);
  if ((options & pop_option::kApopRequired) != 0 && !stamp) return -3;
  bool useApop = stamp && (options & (pop_option::kApopRequired | pop_option::kApopWhenOffered));

  if (breaksCommandLine(user) || breaksCommandLine(password)) return -4;
  int result;
  if (useApop) {
    std::string digest = apopDigest(*stamp, password);
    if (digest.empty()) return -4;
    result = command("APOP " + std::string(user) + " " + digest + "\r\n");
  } else {
    if (command("USER " + std::string(user) + "\r\n") < 0) return -4;
    result = command("PASS " + std::string(password) + "\r\n");
  }
  if (result < 0) return -4;
  socket_.loggedIn = 1;
  return 0;
}

int PopClient::stat(std::uint32_t& totalSize) {
  if (command("STAT\r\n") < 0) return -1;
  std::optional<std::uint32_t> count = replyNumber(socket_.lineBuffer, 1);
  std::optional<std::uint32_t> size = replyNumber(socket_.lineBuffer, 2);
  // The result is a signed count: a larger one would read as a failure.
  if (!count || !size || *count > 0x7FFFFFFFu) return -2;
  totalSize = *size;
  return static_cast<int>(*count);
}

std::int64_t PopClient::list(int n) {
  if (command("LIST " + std::to_string(n) + "\r\n") < 0) return -1;
  std::optional<std::uint32_t> size = replyNumber(socket_.lineBuffer, 2);
  if (!size) return -2;
  return *size;
}

std::int64_t PopClient::top(int n, const std::string& path, std::size_t reserve) {
  return transfer("TOP " + std::to_string(n) + " 0\r\n", path, reserve);
}

std::int64_t PopClient::retr(int n, const std::string& path, std::size_t reserve) {
  return transfer("RETR " + std::to_string(n) + "\r\n", path, reserve);
}

std::int64_t PopClient::transfer(const std::string& commandText, const std::string& path,
                                 std::size_t reserve) {
  FileHandle file;
  // Messages are the user's private mail.
  if (!openExclusive(path, file, 0600)) return -1;
  auto discard = [&](std::int64_t result) {
    file.close();
    deleteFileRetry(path);
    return result;
  };
  if (!file.truncate(0) || !file.seek(0)) return discard(-1);
  if (reserve > 0 && !writeText(file, std::string(reserve, ' '))) return discard(-1);

  socket_.lineBuffer = commandText;
  if (socket_.sendText(socket_.lineBuffer) < 0) return discard(-2);

  std::int64_t written = 0;
  TransferEnd end = reader_.readMultiline([&](std::string_view bytes) {
    if (!writeText(file, bytes)) return false;
    written += static_cast<std::int64_t>(bytes.size());
    return true;
  });
  switch (end) {
    case TransferEnd::Complete:
      file.close();
      return written;
    case TransferEnd::Refused:
      return discard(-4);
    case TransferEnd::Broken:
      return discard(-3);
    case TransferEnd::WriteFailed:
      return discard(-1);
  }
  return discard(-3);
}

int PopClient::quit() {
  if (socket_.loggedIn == 1) command("QUIT\r\n");
  socket_.loggedIn = 0;
  return 0;
}

}  // namespace qg
