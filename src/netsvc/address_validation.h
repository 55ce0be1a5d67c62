// The address validation worker, slot 5. It takes the names queued in
// "vlde.inf" in the program directory oldest first, asks the DNS resolver
// whether mail for each has somewhere to go (mail exchanges, else an address
// of the name itself) and appends the name with a yes/no byte to "vlde.inp".
// One lookup per name: a name that already has a result leaves the queue
// without a new one. It runs on its own thread, looks up only while a
// remote-access connection is active and reads flag 31 (stop); flag 30, its
// running flag, is raised and cleared by the supervisor around it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/engine_state.h"
#include "engine/stop_wait.h"
#include "netsvc/dns_resolver.h"
#include "platform/remote_access.h"

namespace qg {

inline constexpr std::string_view kValidationRequestFile = "vlde.inf";
inline constexpr std::string_view kValidationResultFile = "vlde.inp";
// A queue entry is a name and a zero byte; a name has at most 49 bytes. The
// reader takes at most 50 bytes per entry, so a longer name is read as two
// or more names.
inline constexpr std::size_t kValidationEntryMax = 50;
// A result record is the name, a zero byte and this byte: 1 when the name has
// somewhere to send mail to, 0 when not.
inline constexpr char kValidationYes = 1;
inline constexpr char kValidationNo = 0;

// The resolver's answer for a name ("<address> <host>..."); empty when mail
// for it has nowhere to go.
using MailHostLookup = std::function<std::string(const std::string& name)>;

class AddressValidation {
 public:
  AddressValidation(const EngineFlags& flags, std::string programDir,
                    const platform::RemoteAccess& remoteAccess, MailHostLookup lookup,
                    WorkerClock clock = WorkerClock::system());

  // One processing pass: the queued names one after the other, 100 ms apart,
  // until the queue is empty or missing. It also ends when the connection went
  // down during a lookup, or a result cannot be stored (that name stays at
  // the head for a later pass), and on a stop request.
  void pass();
  // The thread's loop: a pass while a connection is active, every 100 ms,
  // until flag 31 is set.
  void run();

 private:
  enum class Step { Next, QueueEmpty, Held };  // Held: the head name stays
  Step checkHead();

  std::string requestPath_;
  std::string resultPath_;
  const platform::RemoteAccess& remoteAccess_;
  MailHostLookup lookup_;
  StopWait wait_;
};

// The thread entry the supervisor starts for slot 5; servers configures the
// worker's own resolver.
void runAddressValidation(EngineState& state, const platform::RemoteAccess& remoteAccess,
                          const DnsResolverConfig& servers);

}  // namespace qg
