// quillgated: the Quillgate agent without windows. It runs the supervisor's
// start-up, then a loop that turns signals into flag changes and lets the
// supervisor act on the flags, until an orderly exit. With --demo it runs in
// a demo home of its own against a built-in upstream server (demo_run).
#include <iostream>
#include <optional>
#include <string>

#include "app/quillgated/daemon_options.h"
#include "app/quillgated/demo_run.h"
#include "app/quillgated/worker_table.h"
#include "engine/engine_state.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "engine/supervisor.h"
#include "platform/file.h"
#include "platform/home_folder.h"
#include "platform/remote_access.h"
#include "platform/signals.h"
#include "platform/sound_player.h"

namespace {

using namespace qg;
using namespace qg::quillgated;

// The main loop wakes this often to look at signals and flags.
constexpr unsigned kLoopStepMs = 50;

void explainNoBox(const std::string& home) {
  std::cerr << "quillgated: no valid mail box in " << home << "; add one with:\n"
            << "  qgctl --home " << home
            << " box add ADDRESS --pop3 HOST[:PORT] --user USER --password PASS\n"
            << "then start quillgated again.\n";
}

// After a filter list failed to load, a restart would fail the same way: the
// workers stay stopped until the user has mended the list and sends SIGHUP.
bool waitForReconfigure(ProtocolWriter& protocol, const std::string& home) {
  std::cerr << "quillgated: a filter list could not be read; the workers are stopped. "
               "Mend the lists, then reload (qgctl reload or SIGHUP) or stop the agent.\n";
  protocol.append(home, kProtocolWorkersHeld, "Filter list unreadable",
                  "Workers stopped until reload (SIGHUP)");
  while (true) {
    platform::sleepMilliseconds(kLoopStepMs);
    const platform::OutsideRequests requests = platform::takeOutsideRequests();
    if (requests.leave) return false;
    if (requests.reconfigure) return true;
  }
}

int startProblem(StartResult result, const std::string& home) {
  switch (result) {
    case StartResult::Started:
      return -1;
    case StartResult::AlreadyRunning:
      std::cerr << "quillgated: another agent is running for " << home << "\n";
      return kExitRunning;
    case StartResult::NoBox:
      explainNoBox(home);
      return kExitNoBox;
    case StartResult::LockFailed:
      std::cerr << "quillgated: cannot create the lock file in " << home << "\n";
      return kExitFailure;
    case StartResult::HomeTooLong:
      std::cerr << "quillgated: home folder path too long: " << home << "\n";
      return kExitUsage;
    case StartResult::SettingsUnwritable:
      std::cerr << "quillgated: cannot write set.log in " << home << "\n";
      return kExitFailure;
    case StartResult::ThreadFailed:
      std::cerr << "quillgated: cannot start the worker threads\n";
      return kExitFailure;
    case StartResult::BadWorkerTable:
      std::cerr << "quillgated: internal error: worker table out of order\n";
      return kExitFailure;
    case StartResult::PrepareFailed:  // the demo has said why
      return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  DaemonOptions options;
  if (const int status = parseDaemonOptions(argc, argv, options); status >= 0) return status;

  const platform::HomeFolder home = platform::prepareHomeFolder(
      options.home, platform::currentHomeEnvironment(),
      options.demo ? platform::HomeKind::Demo : platform::HomeKind::Agent);
  if (home.status != platform::HomeStatus::Ready) {
    std::cerr << "quillgated: " << platform::homeProblem(home) << "\n";
    return home.status == platform::HomeStatus::CannotCreate ? kExitFailure : kExitUsage;
  }
  if (!platform::installRequestSignals()) {
    std::cerr << "quillgated: cannot install the signal handlers\n";
    return kExitFailure;
  }

  EngineState state;
  ProtocolWriter protocol;
  HistoryWriter history;
  platform::LinuxSoundPlayer player;
  platform::LinuxRemoteAccess remoteAccess(options.offlineFile);
  // Declared before the supervisor: its upstream server outlives the workers.
  std::optional<DemoRun> demo;
  if (options.demo) demo.emplace(history, protocol, home.path, options);

  SupervisorHooks hooks;
  if (demo) hooks.prepare = [&demo](EngineState&) { return demo->prepare(); };
  hooks.reconfigure = [&protocol, &home](RestartCause cause) {
    return cause == RestartCause::Requested || waitForReconfigure(protocol, home.path);
  };
  Supervisor supervisor(state, protocol,
                        makeWorkerTable(options, {player, remoteAccess, protocol, history}),
                        std::move(hooks));

  SupervisorOptions start;
  start.homeFolder = home.path;
  const std::string programFolder = platform::executableFolder();
  if (!programFolder.empty()) start.resourceFolder = programFolder + "/../share/quillgate";
  if (const int status = startProblem(supervisor.start(start), home.path); status >= 0) {
    return status;
  }
  if (demo) demo->printGuide();

  TickResult result = TickResult::Running;
  while (result == TickResult::Running) {
    platform::sleepMilliseconds(kLoopStepMs);
    supervisor.applyOutsideRequests(platform::takeOutsideRequests());
    result = supervisor.tick();
    if (demo) demo->tick();
  }
  const bool saved = supervisor.shutdown();
  if (demo) demo->stop();
  if (!saved) std::cerr << "quillgated: cannot write set.log in " << home.path << "\n";
  if (result == TickResult::LeaveNoBox) {
    explainNoBox(home.path);
    return kExitNoBox;
  }
  return saved ? kExitOk : kExitFailure;
}
