// One connection of the local SMTP server: the greeting, any first line, then
// MAIL FROM (the sending box by its address), RCPT TO (the OUT message file
// headed by its recipients, the first recipient queued in "OutEmail.dat"),
// DATA (the message stored without its terminating line) and QUIT. Every
// refusal is "502 OK" and ends the session. Runs on the local SMTP server
// thread (slot 2); the session writes the OUT files of the sending box and
// appends to "OutEmail.dat", both through the file primitives.
#pragma once

#include <string>
#include <string_view>

#include "engine/file_primitives.h"
#include "engine/protocol_file.h"
#include "netsvc/client_link.h"
#include "retrieval/pop3_client.h"

namespace qg {

// What the server lends each session.
struct SmtpServerContext {
  std::string programDir;  // "OutEmail.dat" and the protocol
  std::string storeDir;    // the boxes
  ProtocolWriter& protocol;
};

class SmtpSession {
 public:
  SmtpSession(SmtpServerContext& context, ClientLink& link);

  // Serves the connection to its end: QUIT, a refusal, a failed receive or
  // send, or the stop flag. A message not completed by its terminating line
  // and the "250 OK" after it is deleted again.
  void run();

  enum class End { Open, Quit, Refused };
  End end() const { return end_; }
  // Messages stored in this session.
  int stored() const { return stored_; }

 private:
  enum class State { Command, Envelope, Closed };
  // Word: the command word must equal the verb in full. Address: the line
  // must begin with the verb and carry a valid address in angle brackets.
  enum class Form { Word, Address };
  struct Command {
    std::string_view verb;
    Form form;
    unsigned states;  // bit set of State values the command is known in
    void (SmtpSession::*handle)(const std::string& address);
  };
  static const Command kCommands[];
  static constexpr unsigned in(State state) { return 1u << static_cast<unsigned>(state); }

  void dispatch(const std::string& line);

  void mailFrom(const std::string& address);
  void firstRecipient(const std::string& address);
  void moreRecipient(const std::string& address);
  void quit(const std::string&);
  void noop(const std::string&);
  void rset(const std::string&);
  void data(const std::string&);

  // Sends text; a failure refuses (and ends) the session.
  bool reply(std::string_view text);
  // Sends "502 OK" and ends the session.
  void refuse();
  // Deletes the message being written, if any.
  void discardMessage();

  SmtpServerContext& context_;
  ClientLink& link_;
  ReplyReader reader_;
  State state_ = State::Command;
  End end_ = End::Open;
  std::string boxDir_;  // the sending box of this session; empty before MAIL FROM
  FileHandle message_;
  std::string messagePath_;
  int stored_ = 0;
};

}  // namespace qg
