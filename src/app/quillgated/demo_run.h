// One run of `quillgated --demo`: during start-up it prepares the demo home
// (demo_setup), seeds the upstream maildrop and starts the built-in upstream
// server with the demo box pointed at it; once the workers run it prints on
// stdout how to read the sorted mail, and a line when this run's sample mail
// has come through. Main thread; the upstream server has a thread of its own.
#pragma once

#include <optional>
#include <string>

#include "app/quillgated/daemon_options.h"
#include "app/quillgated/demo_arrival.h"
#include "app/quillgated/demo_setup.h"
#include "app/quillgated/demo_upstream.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"

namespace qg::quillgated {

class DemoRun {
 public:
  // The arrival is looked for every this many calls of tick().
  static constexpr int kTicksPerLook = 10;

  DemoRun(HistoryWriter& history, ProtocolWriter& protocol, std::string home,
          const DaemonOptions& options);

  // The supervisor's prepare hook. False, after one line on stderr, when the
  // home, the sample messages or the upstream server could not be set up.
  bool prepare();
  // After the workers have started: what the user's mail client needs.
  void printGuide() const;
  // From the main loop: prints the arrival line once the mail has come through.
  void tick();
  // Stops the upstream server (after the workers have stopped).
  void stop();

 private:
  std::string home_;
  int pop3Port_;
  int smtpPort_;
  DemoUpstream upstream_;
  int upstreamPort_ = 0;
  std::size_t seeded_ = 0;
  DemoBox box_;
  std::optional<DemoArrival> arrival_;
  bool announced_ = false;
  int ticks_ = 0;
};

}  // namespace qg::quillgated
