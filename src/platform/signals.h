// Requests that reach the agent as signals: SIGTERM and SIGINT ask for an
// orderly exit, SIGUSR1 for a mail check now, SIGHUP for a reconfigure. The
// handlers only set a word; the main loop takes the words and turns them into
// flag changes. signalAgent is the sending side, used by qgctl.
#pragma once

namespace qg::platform {

struct OutsideRequests {
  bool leave = false;        // SIGTERM or SIGINT
  bool checkNow = false;     // SIGUSR1
  bool reconfigure = false;  // SIGHUP
  bool any() const { return leave || checkNow || reconfigure; }
};

// Installs the handlers for the four signals and ignores SIGPIPE (a peer that
// closes a socket must not end the agent). False when one could not be
// installed. Call once from the main thread before any thread starts.
bool installRequestSignals();

// The requests that arrived since the last call; each arrival is reported
// once. Any thread, though the agent's main loop is the one caller.
OutsideRequests takeOutsideRequests();

enum class AgentRequest { CheckNow, Reconfigure, Leave };

// Sends the signal for request to process pid. 0 on success, else the errno
// value: ESRCH when no such process runs, EPERM when it is not ours, EINVAL
// for a pid below 2 (never sent: it would reach a process group or every
// process of the user).
int signalAgent(long pid, AgentRequest request);

}  // namespace qg::platform
