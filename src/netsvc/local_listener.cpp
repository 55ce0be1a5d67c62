#include "netsvc/local_listener.h"

#include "platform/file.h"
#include "platform/notice.h"

namespace qg {

namespace {

// Sleeps of the retry wait, so that a stop request is seen quickly.
constexpr unsigned kRetryStepMs = 50;

std::string addressText(int port) {
  return "127.0.0.1:" + std::to_string(port);
}

// Waits up to length while flag stopFlag stays 0. False when it was set.
bool waitUnlessStopped(std::chrono::milliseconds length, const EngineFlags& flags, int stopFlag) {
  const auto end = std::chrono::steady_clock::now() + length;
  while (std::chrono::steady_clock::now() < end) {
    if (flags.get(stopFlag) != 0) return false;
    platform::sleepMilliseconds(kRetryStepMs);
  }
  return flags.get(stopFlag) == 0;
}

}  // namespace

void serveLocalClients(std::string_view serverName, const LocalServerSettings& settings,
                       const EngineFlags& flags, int stopFlag, ProtocolWriter& protocol,
                       const std::string& programDir,
                       const std::function<void(ClientLink& client)>& serveClient) {
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
        if (!waitUnlessStopped(settings.listenRetry, flags, stopFlag)) break;
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
      if (!waitUnlessStopped(std::chrono::milliseconds(kRetryStepMs), flags, stopFlag)) break;
    }
  }
  listener.close();
}

}  // namespace qg
