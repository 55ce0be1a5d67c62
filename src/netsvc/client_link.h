// One client connection of a local server as its session sees it: the
// client's bytes in (a ByteSource, split into lines by ReplyReader), replies
// out, and whether the server has been told to stop. SocketLink is the real
// one over an accepted MailSocket; tests and fuzz targets feed a session from
// memory instead. A link belongs to the server thread that serves the client.
#pragma once

#include <chrono>
#include <span>
#include <string_view>

#include "engine/engine_state.h"
#include "retrieval/mail_socket.h"
#include "retrieval/pop3_client.h"

namespace qg {

class ClientLink : public ByteSource {
 public:
  // Sends every byte. False when the client cannot be reached.
  virtual bool send(std::string_view bytes) = 0;
  // True once the server's stop flag is set.
  virtual bool stopRequested() const = 0;
};

// A client stays connected while it sends something at least this often.
inline constexpr std::chrono::milliseconds kClientSilenceLimit{23'000};

class SocketLink final : public ClientLink {
 public:
  // A receive that waits looks at the stop flag this often.
  static constexpr int kStopLookMilliseconds = 200;

  // socket: the accepted client; stopFlag: the server's stop word in flags.
  SocketLink(MailSocket& socket, const EngineFlags& flags, int stopFlag,
             std::chrono::milliseconds silenceLimit = kClientSilenceLimit);
  SocketLink(const SocketLink&) = delete;
  SocketLink& operator=(const SocketLink&) = delete;
  ~SocketLink() override;

  // At most into.size() bytes. Result: the count; 0 when the client closed;
  // -1 when it failed, stayed silent for the silence limit, or the stop flag
  // was set while waiting.
  long receive(std::span<char> into) override;
  // Each send may take up to the silence limit and fails when the stop flag
  // is set while it waits; once the flag is set, a send is tried for at most
  // kStopLookMilliseconds.
  bool send(std::string_view bytes) override;
  bool stopRequested() const override;

 private:
  MailSocket& socket_;
  const EngineFlags& flags_;
  int stopFlag_;
};

}  // namespace qg
