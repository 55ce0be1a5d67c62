#include "netsvc/pop3_session.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>

#include "engine/file_primitives.h"
#include "engine/mail_store.h"
#include "netsvc/box_lookup.h"
#include "netsvc/lone_dot_lines.h"
#include "text/charsets.h"
#include "text/header_field.h"

namespace qg {

namespace {

// Every text the server sends, in one place.
namespace reply_text {
constexpr std::string_view kGreeting = "+OK POP3 server ready\r\n";
constexpr std::string_view kCapabilities =
    "+OK Capability list follows\r\nTOP\r\nUSER\r\nUIDL\r\n.\r\n";
constexpr std::string_view kUserAccepted = "+OK ruvel is a real hoopy frood\r\n";
constexpr const char* kLoggedIn = "+OK ruvel's maildrop has %zu messages (%" PRId64 " octets)\r\n";
constexpr std::string_view kLocked = "-ERR maildrop already locked\r\n";
constexpr const char* kStat = "+OK %zu %" PRId64 "\r\n";
constexpr const char* kListHead = "+OK %zu messages (%" PRId64 " octets)\r\n";
constexpr const char* kListLine = "%zu %" PRId64 "\r\n";
constexpr const char* kListOne = "+OK %zu %" PRId64 "\r\n";
constexpr std::string_view kNoSuchMessage = "-ERR no such message\r\n";
constexpr std::string_view kUidlHead = "+OK Unique-ID listing follows\r\n";
constexpr std::string_view kUidlEmpty = "+OK 0 message (0 octets)\r\n";
constexpr const char* kUidlLine = "%zu %s\r\n";
constexpr const char* kUidlOne = "+OK %zu %s\r\n";
constexpr const char* kRetr = "+OK %" PRId64 " octets\r\n";
constexpr const char* kDeleted = "+OK message %zu deleted\r\n";
constexpr std::string_view kOk = "+OK\r\n";
constexpr const char* kReset = "+OK maildrop has %zu messages (%" PRId64 " octets)\r\n";
constexpr std::string_view kSignOff = "+OK tamsk POP3 server signing off\r\n";
constexpr std::string_view kError = "-ERR\r\n";
constexpr std::string_view kEndAfterLineEnd = ".\r\n";
constexpr std::string_view kEndInLine = "\r\n.\r\n";
}  // namespace reply_text

// Pieces in which a message file is read and sent.
constexpr std::size_t kSendPiece = 65536;

template <typename... Values>
std::string format(const char* pattern, Values... values) {
  const int length = std::snprintf(nullptr, 0, pattern, values...);
  std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, pattern, values...);
  return text;
}

bool isLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// Word k (1 = the first) of line: words are separated by runs of spaces and
// end at a space, CR, LF or the end of the line. Empty when there is none.
std::string_view lineWord(std::string_view line, int k) {
  std::size_t pos = 0;
  std::string_view word;
  for (int i = 0; i < k; ++i) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && !isLineEnd(line[pos])) ++pos;
    word = line.substr(start, pos - start);
    if (word.empty()) return word;
  }
  return word;
}

// What follows the first word and the spaces after it, up to the line end: a
// password may hold spaces.
std::string_view afterFirstWord(std::string_view line) {
  std::size_t pos = 0;
  while (pos < line.size() && line[pos] == ' ') ++pos;
  while (pos < line.size() && line[pos] != ' ' && !isLineEnd(line[pos])) ++pos;
  while (pos < line.size() && line[pos] == ' ') ++pos;
  std::size_t end = pos;
  while (end < line.size() && !isLineEnd(line[end])) ++end;
  return line.substr(pos, end - pos);
}

// Command words match over the length of the shorter text, letter case aside.
bool verbMatches(std::string_view word, std::string_view verb) {
  return word.size() <= verb.size() ? startsWithWord(verb, word) : startsWithWord(word, verb);
}

// A decimal number, saturated at the largest value (which names no message).
// Empty when word is empty or holds anything but digits.
std::optional<std::uint64_t> decimalNumber(std::string_view word) {
  if (word.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  return value;
}

// Where TOP stops: after the line end numbered lines (from 0: the one that
// ends the empty line) counted from the first empty line; size when the file
// ends first or has no empty line. -1 when it cannot be read.
std::int64_t topEnd(FileHandle& file, std::int64_t size, std::uint64_t lines) {
  if (!file.seek(0)) return -1;
  std::array<char, kSendPiece> buffer;
  // The last four bytes; the start of the file counts as the start of a line.
  std::uint32_t window = 0x0D0Au;
  bool inBody = false;
  std::uint64_t lineEnds = 0;
  std::int64_t position = 0;
  while (position < size) {
    const long got = file.read(buffer.data(), buffer.size());
    if (got < 0) return -1;
    if (got == 0) break;
    for (long i = 0; i < got; ++i) {
      const char c = buffer[static_cast<std::size_t>(i)];
      window = (window << 8) | static_cast<std::uint8_t>(c);
      ++position;
      if (!inBody) {
        if (window != 0x0D0A0D0Au) continue;
        inBody = true;
      } else if ((window & 0xFFFFu) != 0x0D0Au) {
        continue;
      } else {
        ++lineEnds;
      }
      if (lineEnds == lines) return std::min(position, size);
    }
  }
  return size;
}

}  // namespace

const Pop3Session::Command Pop3Session::kCommands[] = {
    {"CAPA", in(State::FirstLine), Arguments::None, &Pop3Session::capa},
    {"STAT", in(State::Transaction), Arguments::None, &Pop3Session::stat},
    {"LIST", in(State::Transaction), Arguments::OptionalNumber, &Pop3Session::list},
    {"UIDL", in(State::Transaction), Arguments::OptionalNumber, &Pop3Session::uidl},
    {"RETR", in(State::Transaction), Arguments::Number, &Pop3Session::retr},
    {"DELE", in(State::Transaction), Arguments::Number, &Pop3Session::dele},
    {"QUIT", in(State::Transaction), Arguments::None, &Pop3Session::quit},
    {"NOOP", in(State::Transaction), Arguments::None, &Pop3Session::noop},
    {"RSET", in(State::Transaction), Arguments::None, &Pop3Session::rset},
    {"TOP", in(State::Transaction), Arguments::TwoNumbers, &Pop3Session::top},
};

Pop3Session::Pop3Session(PopServerContext& context, ClientLink& link)
    : context_(context), link_(link), reader_(link) {}

void Pop3Session::run() {
  if (link_.stopRequested()) return;
  if (!link_.send(reply_text::kGreeting)) {
    closeWith(reply_text::kLocked, End::Refused);
    return;
  }
  std::string line;
  while (state_ != State::Closed) {
    if (state_ == State::Transaction && link_.stopRequested()) {
      closeWith(reply_text::kError, End::Failed);
      break;
    }
    if (reader_.readLine(line) < 0) {
      if (state_ != State::Transaction) {
        closeWith(reply_text::kLocked, End::Refused);
      } else if (link_.stopRequested()) {
        closeWith(reply_text::kError, End::Failed);
      } else {
        state_ = State::Closed;
        end_ = End::Dropped;
      }
      break;
    }
    dispatch(line);
  }
}

void Pop3Session::dispatch(const std::string& line) {
  const std::string_view word = lineWord(line, 1);
  for (const Command& command : kCommands) {
    if ((command.states & in(state_)) == 0 || !verbMatches(word, command.verb)) continue;
    if (command.handle == &Pop3Session::dele && context_.fixedMaildrop != nullptr) continue;
    Numbers numbers;
    const std::string_view first = lineWord(line, 2);
    const std::string_view second = lineWord(line, 3);
    bool readable = true;
    switch (command.arguments) {
      case Arguments::None:
        break;
      case Arguments::OptionalNumber:
        if (!first.empty()) readable = (numbers.first = decimalNumber(first)).has_value();
        break;
      case Arguments::Number:
        readable = (numbers.first = decimalNumber(first)).has_value();
        break;
      case Arguments::TwoNumbers:
        numbers.first = decimalNumber(first);
        numbers.second = decimalNumber(second);
        readable = numbers.first && numbers.second;
        break;
    }
    if (!readable) {
      closeWith(reply_text::kError, End::Failed);
      return;
    }
    (this->*command.handle)(numbers);
    return;
  }
  otherLine(line);
}

// A line no command of the state takes: before the log-in it is the user or
// the password line, whatever its first word; afterwards it ends the session.
void Pop3Session::otherLine(const std::string& line) {
  switch (state_) {
    case State::FirstLine:
    case State::UserLine:
      userLine(line);
      return;
    case State::PasswordLine:
      passwordLine(line);
      return;
    case State::Transaction:
    case State::Closed:
      closeWith(reply_text::kError, End::Failed);
      return;
  }
}

bool Pop3Session::reply(std::string_view text) {
  if (link_.send(text)) return true;
  closeWith(reply_text::kError, End::Failed);
  return false;
}

void Pop3Session::closeWith(std::string_view text, End end) {
  link_.send(text);
  state_ = State::Closed;
  end_ = end;
}

void Pop3Session::capa(const Numbers&) {
  if (!link_.send(reply_text::kCapabilities)) {
    closeWith(reply_text::kLocked, End::Refused);
    return;
  }
  state_ = State::UserLine;
}

void Pop3Session::userLine(const std::string& line) {
  user_ = lineWord(line, 2);
  if (!link_.send(reply_text::kUserAccepted)) {
    closeWith(reply_text::kLocked, End::Refused);
    return;
  }
  state_ = State::PasswordLine;
}

void Pop3Session::passwordLine(const std::string& line) {
  const std::string_view password = afterFirstWord(line);
  if (const FixedMaildrop* fixed = context_.fixedMaildrop) {
    if (user_.empty() || !sameTextIgnoringCase(fixed->user, user_) || fixed->password != password) {
      closeWith(reply_text::kLocked, End::Refused);
      return;
    }
    boxDir_ = fixed->folder;
  } else {
    const std::optional<int> box = findLoginBox(context_.storeDir, user_, password);
    if (!box) {
      closeWith(reply_text::kLocked, End::Refused);
      return;
    }
    boxDir_ = boxDirectory(context_.storeDir, *box);
  }
  maildrop_.scan(boxDir_);
  state_ = State::Transaction;
  reply(format(reply_text::kLoggedIn, maildrop_.count(), maildrop_.octets()));
}

void Pop3Session::stat(const Numbers&) {
  reply(format(reply_text::kStat, maildrop_.count(), maildrop_.octets()));
}

namespace {

// The size of the file now; the scanned one when it cannot be read.
std::int64_t currentSize(const MaildropMessage& message) {
  platform::FileStatus now;
  return platform::fileStatus(message.path, now) ? now.size : message.status.size;
}

}  // namespace

void Pop3Session::list(const Numbers& numbers) {
  if (numbers.first) {
    const MaildropMessage* message = maildrop_.message(*numbers.first);
    if (message == nullptr) {
      reply(reply_text::kNoSuchMessage);
      return;
    }
    reply(format(reply_text::kListOne, static_cast<std::size_t>(*numbers.first),
                 currentSize(*message)));
    return;
  }
  std::string listing = format(reply_text::kListHead, maildrop_.count(), maildrop_.octets());
  for (std::size_t k = 1; k <= maildrop_.count(); ++k)
    listing += format(reply_text::kListLine, k, currentSize(*maildrop_.message(k)));
  listing += reply_text::kEndAfterLineEnd;
  reply(listing);
}

void Pop3Session::uidl(const Numbers& numbers) {
  const auto idOf = [&](const MaildropMessage& message) {
    return context_.uniqueIds.idFor(message.path, message.number);
  };
  if (numbers.first) {
    const MaildropMessage* message = maildrop_.message(*numbers.first);
    if (message == nullptr) {
      reply(reply_text::kNoSuchMessage);
      return;
    }
    const std::string id = idOf(*message);
    if (id.empty()) {
      closeWith(reply_text::kError, End::Failed);
      return;
    }
    reply(format(reply_text::kUidlOne, static_cast<std::size_t>(*numbers.first), id.c_str()));
    return;
  }
  if (maildrop_.count() == 0) {
    reply(std::string(reply_text::kUidlEmpty) + std::string(reply_text::kEndAfterLineEnd));
    return;
  }
  std::string listing(reply_text::kUidlHead);
  for (std::size_t k = 1; k <= maildrop_.count(); ++k) {
    const std::string id = idOf(*maildrop_.message(k));
    if (id.empty()) {
      closeWith(reply_text::kError, End::Failed);
      return;
    }
    listing += format(reply_text::kUidlLine, k, id.c_str());
  }
  listing += reply_text::kEndAfterLineEnd;
  reply(listing);
}

MaildropMessage* Pop3Session::messageOrClose(const Numbers& numbers) {
  MaildropMessage* message = numbers.first ? maildrop_.message(*numbers.first) : nullptr;
  if (message == nullptr) closeWith(reply_text::kError, End::Failed);
  return message;
}

bool Pop3Session::sendMessage(FileHandle& file, std::int64_t end) {
  if (!file.seek(0)) {
    closeWith(reply_text::kError, End::Failed);
    return false;
  }
  std::array<char, kSendPiece> buffer;
  std::int64_t sent = 0;
  char last[2] = {0, 0};
  while (sent < end) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(end - sent, kSendPiece));
    const long got = file.read(buffer.data(), want);
    // The file shrank under us: the transfer cannot be finished as announced.
    if (got <= 0) {
      closeWith(reply_text::kError, End::Failed);
      return false;
    }
    const auto piece = std::string_view(buffer.data(), static_cast<std::size_t>(got));
    if (!reply(piece)) return false;
    last[0] = piece.size() >= 2 ? piece[piece.size() - 2] : last[1];
    last[1] = piece.back();
    sent += got;
  }
  const bool endedLine = last[0] == '\r' && last[1] == '\n';
  return reply(endedLine ? reply_text::kEndAfterLineEnd : reply_text::kEndInLine);
}

std::int64_t Pop3Session::openToSend(const Numbers& numbers, FileHandle& file) {
  const MaildropMessage* message = messageOrClose(numbers);
  if (message == nullptr) return -1;
  const std::int64_t size =
      openExisting(message->path, file) && blankLoneDots(file) >= 0 ? file.size() : -1;
  if (size < 0) closeWith(reply_text::kError, End::Failed);
  return size;
}

void Pop3Session::retr(const Numbers& numbers) {
  FileHandle file;
  const std::int64_t size = openToSend(numbers, file);
  if (size < 0 || !reply(format(reply_text::kRetr, size)) || !sendMessage(file, size)) return;
  if (context_.fixedMaildrop != nullptr) return;
  std::string from;
  std::string subject;
  readHeaderField(file, "From", from);
  readHeaderField(file, "Subject", subject);
  file.close();
  context_.protocol.append(context_.programDir, kProtocolLocalPop3, from, subject);
}

void Pop3Session::top(const Numbers& numbers) {
  FileHandle file;
  const std::int64_t size = openToSend(numbers, file);
  if (size < 0) return;
  const std::int64_t end = topEnd(file, size, *numbers.second);
  if (end < 0) {
    closeWith(reply_text::kError, End::Failed);
    return;
  }
  if (reply(reply_text::kOk)) sendMessage(file, end);
}

void Pop3Session::dele(const Numbers& numbers) {
  MaildropMessage* message = messageOrClose(numbers);
  if (message == nullptr) return;
  message->kept = false;
  reply(format(reply_text::kDeleted, static_cast<std::size_t>(*numbers.first)));
}

void Pop3Session::quit(const Numbers&) {
  if (!reply(reply_text::kSignOff)) return;
  state_ = State::Closed;
  end_ = End::Quit;
  maildrop_.removeMarked(context_.history);
}

void Pop3Session::noop(const Numbers&) {
  reply(reply_text::kOk);
}

void Pop3Session::rset(const Numbers&) {
  maildrop_.scan(boxDir_);
  reply(format(reply_text::kReset, maildrop_.count(), maildrop_.octets()));
}

}  // namespace qg
