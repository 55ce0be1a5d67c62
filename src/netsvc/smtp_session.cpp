#include "netsvc/smtp_session.h"

#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "engine/outgoing_mail.h"
#include "netsvc/box_lookup.h"
#include "text/charsets.h"
#include "text/header_field.h"

namespace qg {

namespace {

// Every text the server sends, in one place.
namespace reply_text {
constexpr std::string_view kGreeting = "220 localhost Simple Mail Transfer Service Ready\r\n";
constexpr std::string_view kHello = "250 localhost\r\n";
constexpr std::string_view kOk = "250 OK\r\n";
constexpr std::string_view kClosing = "221 localhost Service closing transmission channel\r\n";
constexpr std::string_view kStartInput = "354 Start mail input; end with <CRLF>.<CRLF>\r\n";
constexpr std::string_view kRefused = "502 OK\r\n";
}  // namespace reply_text

// The recipient lines at the head of a stored message ("RCTP" is the
// spelling the rest of the system reads).
constexpr std::string_view kFirstRecipientLine = "RCPT TO: ";
constexpr std::string_view kMoreRecipientLine = "RCTP TO: ";

// At least this many characters between "<" and ">".
constexpr std::size_t kMinBracketed = 4;

bool isBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trimmed(std::string_view line) {
  while (!line.empty() && isBlankOrControl(line.front())) line.remove_prefix(1);
  while (!line.empty() && isBlankOrControl(line.back())) line.remove_suffix(1);
  return line;
}

// The text up to the first blank, CR or LF.
std::string_view commandWord(std::string_view line) {
  std::size_t end = 0;
  while (end < line.size() && line[end] != ' ' && line[end] != '\r' && line[end] != '\n') ++end;
  return line.substr(0, end);
}

// The address of a "MAIL FROM" or "RCPT TO" line: the trimmed line begins
// with keyword and is longer, holds "<" and after it ">" with at least four
// characters between, and these pass the address rule (trimmed). Empty when
// any of this fails.
std::string bracketedAddress(std::string_view line, std::string_view keyword) {
  line = trimmed(line);
  if (line.size() <= keyword.size() || !startsWithWord(line, keyword)) return {};
  const std::size_t open = line.find('<');
  if (open == std::string_view::npos) return {};
  const std::size_t close = line.find('>', open + 1);
  if (close == std::string_view::npos || close - open - 1 < kMinBracketed) return {};
  std::string address(line.substr(open + 1, close - open - 1));
  return isValidAddress(address) ? address : std::string();
}

// Writes the data of a message as it arrives, all but its final line break,
// which belongs to the terminating line.
class DataWriter {
 public:
  explicit DataWriter(FileHandle& file) : file_(file) {}

  bool write(std::string_view piece) {
    held_ += piece;
    if (held_.size() <= kHeld) return true;
    const std::size_t ready = held_.size() - kHeld;
    const bool written = writeText(file_, std::string_view(held_).substr(0, ready));
    held_.erase(0, ready);
    return written;
  }

  bool finish() {
    std::string_view rest = held_;
    if (rest.ends_with("\r\n")) {
      rest.remove_suffix(2);
    } else if (rest.ends_with('\n')) {
      rest.remove_suffix(1);
    }
    return writeText(file_, rest);
  }

 private:
  static constexpr std::size_t kHeld = 2;  // CR LF
  FileHandle& file_;
  std::string held_;
};

}  // namespace

const SmtpSession::Command SmtpSession::kCommands[] = {
    {"MAIL FROM", Form::Address, in(State::Command), &SmtpSession::mailFrom},
    {"RCPT TO", Form::Address, in(State::Command), &SmtpSession::firstRecipient},
    {"RCPT TO", Form::Address, in(State::Envelope), &SmtpSession::moreRecipient},
    {"QUIT", Form::Word, in(State::Command) | in(State::Envelope), &SmtpSession::quit},
    {"NOOP", Form::Word, in(State::Command) | in(State::Envelope), &SmtpSession::noop},
    {"RSET", Form::Word, in(State::Command), &SmtpSession::rset},
    {"DATA", Form::Word, in(State::Envelope), &SmtpSession::data},
};

SmtpSession::SmtpSession(SmtpServerContext& context, ClientLink& link)
    : context_(context), link_(link), reader_(link) {}

void SmtpSession::run() {
  if (link_.stopRequested() || !link_.send(reply_text::kGreeting)) return;
  std::string line;
  // The first line is taken whatever it says (HELO, EHLO, ...).
  if (reader_.readLine(line) < 0) {
    refuse();
    return;
  }
  if (!reply(reply_text::kHello)) return;
  while (state_ != State::Closed) {
    if (state_ == State::Command && link_.stopRequested()) {
      refuse();
      break;
    }
    if (reader_.readLine(line) < 0) {
      refuse();
      break;
    }
    dispatch(line);
  }
  discardMessage();
}

void SmtpSession::dispatch(const std::string& line) {
  const std::string_view word = commandWord(line);
  for (const Command& command : kCommands) {
    if ((command.states & in(state_)) == 0) continue;
    if (command.form == Form::Address) {
      const std::string address = bracketedAddress(line, command.verb);
      if (address.empty()) continue;
      (this->*command.handle)(address);
      return;
    }
    if (sameTextIgnoringCase(word, command.verb)) {
      (this->*command.handle)(std::string());
      return;
    }
  }
  // Unknown in the command state ends the session; in the envelope the line
  // is passed over without a reply.
  if (state_ == State::Command) refuse();
}

bool SmtpSession::reply(std::string_view text) {
  if (link_.send(text)) return true;
  refuse();
  return false;
}

void SmtpSession::refuse() {
  link_.send(reply_text::kRefused);
  discardMessage();
  state_ = State::Closed;
  end_ = End::Refused;
}

void SmtpSession::discardMessage() {
  if (!message_.isOpen()) return;
  deleteFileRetry(messagePath_);
  message_.close();
}

void SmtpSession::mailFrom(const std::string& address) {
  const std::optional<int> box = findSendingBox(context_.storeDir, address);
  if (!box) {
    refuse();
    return;
  }
  boxDir_ = boxDirectory(context_.storeDir, *box);
  reply(reply_text::kOk);
}

void SmtpSession::firstRecipient(const std::string& address) {
  // Without a sender in this session there is no box to store into.
  if (boxDir_.empty()) {
    refuse();
    return;
  }
  if (!reply(reply_text::kOk)) return;
  if (createOutMessage(boxDir_, message_, messagePath_) < 0 ||
      !writeText(message_, std::string(kFirstRecipientLine) + address + "\r\n")) {
    refuse();
    return;
  }
  // A recipient that cannot be queued is only not learned; the mail is kept.
  appendOutEmail(context_.programDir, address);
  state_ = State::Envelope;
}

void SmtpSession::moreRecipient(const std::string& address) {
  if (!reply(reply_text::kOk)) return;
  if (!writeText(message_, std::string(kMoreRecipientLine) + address + "\r\n")) refuse();
}

void SmtpSession::quit(const std::string&) {
  if (!reply(reply_text::kClosing)) return;
  discardMessage();
  state_ = State::Closed;
  end_ = End::Quit;
}

void SmtpSession::noop(const std::string&) {
  reply(reply_text::kOk);
}

void SmtpSession::rset(const std::string&) {
  reply(reply_text::kOk);
}

void SmtpSession::data(const std::string&) {
  if (!reply(reply_text::kStartInput)) return;
  DataWriter writer(message_);
  const TransferEnd end =
      reader_.readDotTerminated([&](std::string_view piece) { return writer.write(piece); });
  if (end != TransferEnd::Complete || !writer.finish()) {
    refuse();
    return;
  }
  if (!reply(reply_text::kOk)) return;
  std::string to;
  std::string subject;
  readHeaderField(message_, "to", to);
  readHeaderField(message_, "subject", subject);
  message_.close();
  ++stored_;
  context_.protocol.append(context_.programDir, kProtocolLocalSmtp, to, subject);
  state_ = State::Command;
}

}  // namespace qg
