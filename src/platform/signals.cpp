#include "platform/signals.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <climits>

namespace qg::platform {

namespace {

// A signal handler can reach only static storage, so these three words are
// the one process-wide mutable state of the program. Lock-free atomics are
// safe to store from a handler and to read from any thread.
std::atomic<int> leaveRequested{0};
std::atomic<int> checkRequested{0};
std::atomic<int> reconfigureRequested{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onRequestSignal(int number) {
  switch (number) {
    case SIGTERM:
    case SIGINT:
      leaveRequested.store(1);
      break;
    case SIGUSR1:
      checkRequested.store(1);
      break;
    case SIGHUP:
      reconfigureRequested.store(1);
      break;
    default:
      break;
  }
}

bool installHandler(int number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(number, &action, nullptr) == 0;
}

}  // namespace

bool installRequestSignals() {
  bool all = true;
  for (int number : {SIGTERM, SIGINT, SIGUSR1, SIGHUP}) {
    all = installHandler(number, &onRequestSignal) && all;
  }
  return installHandler(SIGPIPE, SIG_IGN) && all;
}

OutsideRequests takeOutsideRequests() {
  OutsideRequests requests;
  requests.leave = leaveRequested.exchange(0) != 0;
  requests.checkNow = checkRequested.exchange(0) != 0;
  requests.reconfigure = reconfigureRequested.exchange(0) != 0;
  return requests;
}

int signalAgent(long pid, AgentRequest request) {
  if (pid < 2 || pid > INT_MAX) return EINVAL;
  int number = SIGTERM;
  if (request == AgentRequest::CheckNow) number = SIGUSR1;
  if (request == AgentRequest::Reconfigure) number = SIGHUP;
  return ::kill(static_cast<pid_t>(pid), number) == 0 ? 0 : errno;
}

}  // namespace qg::platform
