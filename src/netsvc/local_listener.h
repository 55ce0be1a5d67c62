// The accept loop the local POP3 and SMTP servers share: listens on
// 127.0.0.1 and serves one client at a time until the server's stop flag is
// set. Runs on the server's own thread (slot 1 or 2). A port that cannot be
// bound is reported once (a notice and a protocol event) and tried again
// every retry interval, so the rest of the agent keeps running.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/engine_state.h"
#include "engine/protocol_file.h"
#include "netsvc/client_link.h"
#include "retrieval/mail_socket.h"

namespace qg {

// Protocol event of a local server that cannot listen on its port; the
// first text names the server, the second the address.
inline constexpr std::uint8_t kProtocolCannotListen = 21;

// What the agent (or a test) tells a local server.
struct LocalServerSettings {
  int port = 0;  // on 127.0.0.1; 0: chosen by the kernel (tests)
  // A client silent this long loses its connection.
  std::chrono::milliseconds silenceLimit = kClientSilenceLimit;
  // A port that cannot be bound is tried again this often.
  std::chrono::milliseconds listenRetry{10'000};
  // Called on the server thread each time the listener is up, with its port.
  std::function<void(int port)> onListening;
};

// Listens and hands each accepted client, as a SocketLink with the
// settings' silence limit, to serveClient, one after the
// other, until stopFlag is set in flags; the listener stays open between
// clients, so a client that connects meanwhile waits in the backlog and is
// served next. The first failure to listen is reported through showNotice
// and protocol event kProtocolCannotListen in programDir.
// serverName ("POP3", "SMTP") names the server in the report.
void serveLocalClients(std::string_view serverName, const LocalServerSettings& settings,
                       const EngineFlags& flags, int stopFlag, ProtocolWriter& protocol,
                       const std::string& programDir,
                       const std::function<void(ClientLink& client)>& serveClient);

}  // namespace qg
