#include "netsvc/online_passes.h"

namespace qg {

void runOnlinePasses(StopWait& wait, const platform::RemoteAccess& remoteAccess,
                     const std::function<void()>& pass, OnlinePassTiming timing) {
  while (!wait.stopRequested()) {
    if (remoteAccess.connected()) {
      pass();
    } else if (!wait.sleepFor(timing.offline)) {
      break;
    }
    if (!wait.sleepFor(timing.between)) break;
  }
}

}  // namespace qg
