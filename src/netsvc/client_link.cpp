#include "netsvc/client_link.h"
namespace qg {

SocketLink::SocketLink(MailSocket& socket, const EngineFlags& flags, int stopFlag,
                       std::chrono::milliseconds silenceLimit)
    : socket_(socket), flags_(flags), stopFlag_(stopFlag) {
  // The server watches its own stop flag; the fetcher's flags must not end
  // a client's connection.
  socket_.flags = nullptr;
  socket_.stopTest = [this] { return stopRequested(); };
  socket_.wakeMilliseconds = kStopLookMilliseconds;
  socket_.timeoutMilliseconds = static_cast<int>(silenceLimit.count());
}

SocketLink::~SocketLink() {
  socket_.stopTest = nullptr;
}

bool SocketLink::stopRequested() const {
  return flags_.get(stopFlag_) != 0;
}

long SocketLink::receive(std::span<char> into) {
  return socket_.receive(into);
}

bool SocketLink::send(std::string_view bytes) {
  if (!stopRequested()) return socket_.sendText(bytes) == static_cast<long>(bytes.size());
  // Once the server stops, what it still tells the client (the last reply)
  // gets one short try, so a client that does not read cannot hold the exit.
  socket_.stopTest = nullptr;
  const int silenceLimit = socket_.timeoutMilliseconds;
  socket_.timeoutMilliseconds = kStopLookMilliseconds;
  const bool sent = socket_.sendText(bytes) == static_cast<long>(bytes.size());
  socket_.timeoutMilliseconds = silenceLimit;
  socket_.stopTest = [this] { return stopRequested(); };
  return sent;
}

}  // namespace qg
