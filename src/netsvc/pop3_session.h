// One connection of the local POP3 server: the greeting, the optional CAPA,
// the user and password lines, then the transaction commands on the files of
// the box's IN folder until QUIT deletes the messages marked with DELE. The
// reply texts are fixed (see the table in the source). Runs on the local POP3
// server thread (slot 1); a session owns nothing beyond its connection, and
// reads and deletes IN files only through the file primitives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "netsvc/client_link.h"
#include "netsvc/maildrop.h"
#include "netsvc/unique_id.h"
#include "retrieval/pop3_client.h"

namespace qg {

// One maildrop behind one user name and password, served read-only: the
// demo's stand-in for the user's POP3 server. Its sessions offer no DELE (the
// command ends the session like any unknown one), so its mail is never
// deleted, and they record nothing in the history or the protocol.
struct FixedMaildrop {
  std::string user;      // compared letter case aside, as a box's user name
  std::string password;  // compared byte for byte
  std::string folder;    // served as a box folder is: its IN messages
};

// What the server lends each session.
struct PopServerContext {
  std::string programDir;  // the protocol folder
  std::string storeDir;    // the boxes
  HistoryWriter& history;
  ProtocolWriter& protocol;
  UniqueIds& uniqueIds;  // kept across connections
  // Set: the session serves this maildrop instead of the boxes of storeDir.
  const FixedMaildrop* fixedMaildrop = nullptr;
};

class Pop3Session {
 public:
  Pop3Session(PopServerContext& context, ClientLink& link);

  // Serves the connection to its end: QUIT, a refused log-in, an unknown
  // command, a failed send, a silent client, or the stop flag. Messages are
  // deleted only after QUIT.
  void run();

  // How the session ended, for the server's callers and tests.
  enum class End { Open, Quit, Refused, Failed, Dropped };
  End end() const { return end_; }

 private:
  enum class State { FirstLine, UserLine, PasswordLine, Transaction, Closed };
  enum class Arguments { None, OptionalNumber, Number, TwoNumbers };
  // Numeric arguments of a command line; a number too large to hold names no message.
  struct Numbers {
    std::optional<std::uint64_t> first;
    std::optional<std::uint64_t> second;
  };
  struct Command {
    std::string_view verb;
    unsigned states;  // bit set of State values the command is known in
    Arguments arguments;
    void (Pop3Session::*handle)(const Numbers& numbers);
  };
  static const Command kCommands[];
  static constexpr unsigned in(State state) { return 1u << static_cast<unsigned>(state); }

  void dispatch(const std::string& line);
  void otherLine(const std::string& line);

  void capa(const Numbers&);
  void userLine(const std::string& line);
  void passwordLine(const std::string& line);
  void stat(const Numbers&);
  void list(const Numbers& numbers);
  void uidl(const Numbers& numbers);
  void retr(const Numbers& numbers);
  void dele(const Numbers& numbers);
  void quit(const Numbers&);
  void noop(const Numbers&);
  void rset(const Numbers&);
  void top(const Numbers& numbers);

  // Sends text; a failure makes a last "-ERR" attempt and closes.
  bool reply(std::string_view text);
  // Closes with a final reply (and no deletion).
  void closeWith(std::string_view text, End end);
  // The message named by a command's number, or a final "-ERR".
  MaildropMessage* messageOrClose(const Numbers& numbers);
  // Opens the message named by a command's number and blanks its lone dots.
  // Its size, or -1 after a final "-ERR".
  std::int64_t openToSend(const Numbers& numbers, FileHandle& file);
  // Sends bytes 0..end of file and the terminating line. False when a send failed.
  bool sendMessage(FileHandle& file, std::int64_t end);

  PopServerContext& context_;
  ClientLink& link_;
  ReplyReader reader_;
  State state_ = State::FirstLine;
  End end_ = End::Open;
  std::string user_;
  std::string boxDir_;
  Maildrop maildrop_;
};

}  // namespace qg
