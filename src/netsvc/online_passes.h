// The polling loop of the workers that look names up only while a
// remote-access connection is active (the DNSBL checker and the address
// validation worker). Runs on the calling worker's thread.
#pragma once

#include <chrono>
#include <functional>

#include "engine/stop_wait.h"
#include "platform/remote_access.h"

namespace qg {

struct OnlinePassTiming {
  std::chrono::milliseconds offline{1000};  // the wait while no connection is active
  std::chrono::milliseconds between{100};   // after every round
};

// Until the stop flag of wait is set: one pass while remoteAccess is
// connected, otherwise the offline wait; then the wait between rounds.
// Returns once the stop flag has been seen.
void runOnlinePasses(StopWait& wait, const platform::RemoteAccess& remoteAccess,
                     const std::function<void()>& pass, OnlinePassTiming timing = {});

}  // namespace qg
