// The demo's stand-in for the user's POP3 server: the local servers' accept
// loop and POP3 session serving one read-only FixedMaildrop (USER/PASS, STAT,
// LIST, UIDL, TOP, RETR, NOOP, QUIT; never DELE) on a kernel-chosen loopback
// port. It runs on a thread of its own beside the workers: the main thread
// starts it during start-up and stops it after the workers have stopped.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "engine/engine_state.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "netsvc/pop3_session.h"
#include "netsvc/unique_id.h"

namespace qg::quillgated {

class DemoUpstream {
 public:
  // How long start waits for the listener.
  static constexpr int kStartSeconds = 5;

  // The writers are the agent's; a fixed maildrop writes to neither, except
  // the protocol event of a port that cannot be had (in programDir).
  DemoUpstream(HistoryWriter& history, ProtocolWriter& protocol, std::string programDir);
  ~DemoUpstream();  // stops the server
  DemoUpstream(const DemoUpstream&) = delete;
  DemoUpstream& operator=(const DemoUpstream&) = delete;

  // Starts serving maildrop. The port it listens on, or -1 when the listener
  // did not come up within kStartSeconds (the server is stopped again then).
  int start(FixedMaildrop maildrop);
  // Ends the current client's session and the thread; waits for both.
  void stop();

 private:
  void serve();

  HistoryWriter& history_;
  ProtocolWriter& protocol_;
  std::string programDir_;
  FixedMaildrop maildrop_;
  UniqueIds uniqueIds_;
  // The server's own words: only kStopWord is used, as a local server uses
  // its stop flag.
  EngineFlags flags_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable listening_;
  int port_ = 0;
};

}  // namespace qg::quillgated
