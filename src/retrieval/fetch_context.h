// What the mail fetcher's parts share: the services it is handed (protocol and
// history writers, the remote-access layer), its waits and clock, the results
// of one box fetch and the protocol events it records. Values only; the
// objects referred to outlive the fetcher and are safe to use from its thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "platform/remote_access.h"

namespace qg {

struct FetcherServices {
  ProtocolWriter& protocol;
  HistoryWriter& history;
  platform::RemoteAccess& remoteAccess;
};

// Microseconds of the steady clock: the fetcher's intervals and keep-alive.
inline std::int64_t steadyMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The fetcher's waits. The defaults are the agent's; tests shorten them.
struct FetcherTiming {
  unsigned stepMs = 50;            // idle wait and end-of-box handshake steps
  unsigned idleSteps = 23;         // steps of the idle wait before it walks the table
  unsigned pauseStepMs = 10;       // waits for the analysis worker to pause
  unsigned turnMs = 100;           // decision-loop turns, and between two ".hdr" files
  unsigned keepAliveMs = 3000;     // a LIST 1 keeps an idle connection open this often
  unsigned offlineSteps = 230;     // stepMs waits when no connection can be made
  unsigned skipBoxMs = 100;        // after a box that cannot be prepared
  int socketTimeoutSeconds = 230;  // every send and receive
  std::function<std::int64_t()> clock = steadyMicros;  // intervals and keep-alive
};

// Results of one box fetch.
inline constexpr int kFetchDone = 0;
inline constexpr int kFetchFailed = 1;   // connection or transfer error: try again
inline constexpr int kFetchStopped = 4;  // flag 41

// Protocol events of the fetcher.
namespace fetch_event {
inline constexpr std::uint8_t kPassStart = 1;
inline constexpr std::uint8_t kLoggedIn = 3;      // host name
inline constexpr std::uint8_t kWholeFetched = 4;  // From, Subject
inline constexpr std::uint8_t kFinished = 5;      // delivered or withheld: From, Subject
inline constexpr std::uint8_t kDelivered = 12;    // the IN file's From, Subject
inline constexpr std::uint8_t kPassEnd = 16;      // a pass that fetched a box
inline constexpr std::uint8_t kRetry = 18;        // a box fetch failed
}  // namespace fetch_event

// Options of every log-in: APOP when the server offers it.
inline constexpr int kFetcherLoginOptions = 33;

}  // namespace qg
