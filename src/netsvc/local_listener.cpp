#include "netsvc/local_listener.h"

#include "engine/stop_wait.h"
#include "platform/notice.h"

namespace qg {

namespace {

// The pause before a broken listener is opened again.
constexpr std::chrono::milliseconds kReopenPause{50};

std::string addressText(int port) {
  return "127.0.0.1:" + std::to_string(port);
}

}  // namespace

void serveLocalClients(std::string_view serverName, const LocalServerSettings& settings,
                       const EngineFlags& flags, int stopFlag, ProtocolWriter& protocol,
                       const std::string& programDir,
                       const std::function<void(ClientLink& client)>& serveClient) {
  StopWait wait(flags, stopFlag);
  MailSocket listener;
  bool reported = false;
  while (flags.get(stopFlag) == 0) {
    if (!listener.isOpen()) {
      if (!listener.listenLoopback(settings.port)) {
        if (!reported) {
          const std::string where = addressText(settings.port);
          platform::showNotice(
              "Quillgate", "the local " + std::string(serverName) + " server cannot listen on " +
                               where + "; trying again every " +
                               std::to_string(settings.listenRetry.count() / 1000) + " s");
          protocol.append(programDir, kProtocolCannotListen, "Local " + std::string(serverName),
                          "Cannot listen on " + where);
          reported = true;
        }
        if (!wait.sleepFor(settings.listenRetry)) break;
        continue;
      }
      if (settings.onListening) settings.onListening(listener.localPort());
    }
    MailSocket client;
    if (listener.acceptWaiting(client) == 1) {
      SocketLink link(client, flags, stopFlag, settings.silenceLimit);
      serveClient(link);
      client.close();
    } else if (listener.lastError() == SocketError::Failed) {
      // A broken listener is opened again rather than polled in a busy loop.
      listener.close();
      if (!wait.sleepFor(kReopenPause)) break;
    }
  }
  listener.close();
}

}  // namespace qg
