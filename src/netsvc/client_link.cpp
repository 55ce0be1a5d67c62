#include "netsvc/client_link.h"

#include <algorithm>

namespace qg {

SocketLink::SocketLink(MailSocket& socket, const EngineFlags& flags, int stopFlag,
                       std::chrono::milliseconds silenceLimit)
    : socket_(socket), flags_(flags), stopFlag_(stopFlag), silenceLimit_(silenceLimit) {
  // The server watches its own stop flag; the fetcher's flags must not end
  // a client's connection.
  socket_.flags = nullptr;
}

bool SocketLink::stopRequested() const {
  return flags_.get(stopFlag_) != 0;
}

long SocketLink::receive(std::span<char> into) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + silenceLimit_;
  for (;;) {
    if (stopRequested()) return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return -1;
    socket_.timeoutMilliseconds =
        static_cast<int>(std::min<long long>(left, kStopLookMilliseconds));
    const long got = socket_.receive(into);
    if (got >= 0) return got;
    if (socket_.lastError() != SocketError::TimedOut) return -1;
  }
}

bool SocketLink::send(std::string_view bytes) {
  socket_.timeoutMilliseconds = static_cast<int>(silenceLimit_.count());
  return socket_.sendText(bytes) == static_cast<long>(bytes.size());
}

}  // namespace qg
