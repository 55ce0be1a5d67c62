// The DNSBL checker, the worker of slot 7. It takes the blocklist requests of
// "dnsbl.inf" in the program directory oldest first, asks the system resolver
// whether the reversed address exists in the request's zone, and appends the
// answer to "dnsbl.inp" for the analysis worker. It runs on its own thread,
// looks up only while a remote-access connection is active, reads flag 11
// (stop) and writes flag 48 (1 while it works through the queue); flag 10,
// its running flag, is raised and cleared by the supervisor around it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/dnsbl_records.h"
#include "engine/engine_state.h"
#include "engine/stop_wait.h"
#include "platform/remote_access.h"

namespace qg {

// Blocklist servers are not flooded: a gap between the end of one lookup and
// the start of the next, and a longer one after every so many lookups.
struct DnsblPacing {
  std::chrono::milliseconds gap{1000};
  std::chrono::milliseconds longGap{5000};
  int lookupsPerLongGap = 30;  // the 31st, 61st, ... lookup waits longGap
};

// The pacing rule on its own.
class DnsblPacer {
 public:
  // The first lookup may start at start.
  explicit DnsblPacer(WorkerTime start, DnsblPacing pacing = {});
  // When the next lookup may start: gap after the end of the last one, or
  // longGap once lookupsPerLongGap lookups have ended since the last long gap
  // (the count then starts again).
  WorkerTime nextLookupAt();
  void lookupEnded(WorkerTime end);

 private:
  DnsblPacing pacing_;
  WorkerTime lastEnd_;
  int lookups_ = 0;
};

// The result word for request given the resolver's answer to its query name:
// no answer gives the zone's signature (not listed); an answer whose last
// octet equals one of the request's non-zero codes gives the signature with
// kDnsblListedBit. Empty (no result at all) when the octet matches no code or
// is not a number.
std::optional<std::uint32_t> dnsblResultWord(const DnsblRequest& request,
                                             const std::optional<std::string>& answer);

// The system resolver's first IPv4 address of a name, dotted; empty when it
// does not resolve.
using HostLookup = std::function<std::optional<std::string>(const std::string& name)>;

class DnsblChecker {
 public:
  DnsblChecker(EngineFlags& flags, std::string programDir,
               const platform::RemoteAccess& remoteAccess, HostLookup lookup,
               WorkerClock clock = WorkerClock::system(), DnsblPacing pacing = {});

  // One processing pass: flag 48 is 1 while it works through the queue, one
  // request after the other. It ends with flag 48 at 0 when the queue is empty
  // or missing, when the connection went down during a lookup (that request
  // stays at the head and is checked again later) or when a result cannot be
  // stored (the same); a stop request ends it at once.
  void pass();
  // The thread's loop: a pass while a connection is active, every 100 ms,
  // until flag 11 is set; flag 48 is 0 when it returns.
  void run();

 private:
  enum class Step { Next, QueueEmpty, Held, Stopped };  // Held: the head request stays
  Step checkHead();
  bool resultKnown(Ipv4Number address) const;

  EngineFlags& flags_;
  std::string requestPath_;
  std::string resultPath_;
  const platform::RemoteAccess& remoteAccess_;
  HostLookup lookup_;
  StopWait wait_;
  DnsblPacer pacer_;
};

// The thread entry the supervisor starts for slot 7.
void runDnsblChecker(EngineState& state, const platform::RemoteAccess& remoteAccess);

}  // namespace qg
