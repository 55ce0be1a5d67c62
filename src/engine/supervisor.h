// The supervisor: start-up of the agent, the seven worker threads, and the
// procedures that stop them (reconfigure, exit) and start them again. It runs
// on the main thread and meets the workers only through the flag words. The
// program around it (quillgated's loop, the desktop's event loop) hands it the
// worker table and the hooks for its windows, and calls tick() every few tens
// of milliseconds, acting on the flags where a window loop would.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/engine_state.h"
#include "engine/language_table.h"
#include "engine/protocol_file.h"
#include "engine/settings_defaults.h"
#include "platform/instance_lock.h"
#include "platform/signals.h"

namespace qg {

// A worker's thread body. It returns once it has seen its stop flag; the
// supervisor sets the running flag before calling it and clears it after.
using WorkerEntry = std::function<void(EngineState& state)>;

struct WorkerSpec {
  WorkerFlags flags;            // slot, running flag, stop flag: kWorkers[i] for entry i
  std::string_view threadName;  // shown in process listings (at most 15 bytes kept)
  WorkerEntry run;
};
using WorkerTable = std::array<WorkerSpec, kWorkers.size()>;

// True when table holds the seven workers in the order of kWorkers, each
// with an entry: the start order and the stop order are that order.
bool isValidWorkerTable(const WorkerTable& table);

// Why the workers were stopped for a reconfigure.
enum class RestartCause {
  Requested,         // flag 82: the user (or SIGHUP) asked for it
  FilterLoadFailed,  // flag 52: the analysis worker could not read a filter file
};

// Protocol entry of an agent that stopped its workers after flag 52 and waits
// for the user; the texts say why and what to do.
inline constexpr std::uint8_t kProtocolWorkersHeld = 20;

// What the program around the supervisor adds. Every hook may be empty.
struct SupervisorHooks {
  // Start-up holds the home folder's lock and has saved "set.log"; nothing
  // else has run yet (the demo prepares its box and upstream server here, so
  // a second copy never touches the first one's home). False ends the
  // start-up with PrepareFailed.
  std::function<bool(EngineState& state)> prepare;
  // Start-up found no valid box (the desktop runs the setup wizard here). True
  // asks for another scan; false, or no hook, ends the start-up with NoBox.
  std::function<bool(EngineState& state)> noBox;
  // The workers are stopped and their threads ended. True restarts them
  // (after the known senders are loaded again and the boxes rescanned);
  // false leaves the program. No hook: restart at once.
  std::function<bool(RestartCause cause)> reconfigure;
  // Flag 88 went to 1: rebuild the windows; the workers keep running.
  std::function<void()> rebuildWindows;
  // Called at every step while waiting for the workers to stop.
  std::function<void()> whileWaiting;
  // Whether the store holds a valid box; no hook: the mail store's scan.
  std::function<bool(const PathBlock& paths)> hasBox;
};

struct SupervisorOptions {
  // The program directory: absolute, no trailing "/", at most 511 bytes.
  std::string homeFolder;
  // Where "language.dat" is looked for when the home folder has none (the
  // shipped copy); may be empty.
  std::string resourceFolder;
  // Centres the setup window in a new "set.log".
  ScreenSize screen = kAssumedScreen;
};

enum class StartResult {
  Started,             // workers running; call tick() until it says Leave
  AlreadyRunning,      // another agent holds the home folder's lock
  LockFailed,          // the lock file could not be created or written
  HomeTooLong,         // the home folder path does not fit the path block
  SettingsUnwritable,  // "set.log" could not be saved
  NoBox,               // no valid box, and the noBox hook did not make one
  ThreadFailed,        // a worker thread could not be created
  BadWorkerTable,      // the table fails isValidWorkerTable
  PrepareFailed,       // the prepare hook said no
};

enum class TickResult {
  Running,
  Leave,       // flag 80 is 0, or the reconfigure hook said leave: call shutdown()
  LeaveNoBox,  // after a reconfigure the store held no valid box: call shutdown()
};

class Supervisor {
 public:
  // Save and load of "set.log" are tried this often, this far apart, before
  // they count as failed (the file engine has already waited for a busy file).
  static constexpr int kSettingsAttempts = 20;
  static constexpr unsigned kSettingsRetryMs = 50;
  // Step of the waits for running flags to fall to 0.
  static constexpr unsigned kStopPollMs = 50;

  // state and protocol outlive the supervisor; the protocol writer is the one
  // the workers use too.
  Supervisor(EngineState& state, ProtocolWriter& protocol, WorkerTable workers,
             SupervisorHooks hooks = {});
  // Stops workers that still run (a start-up that failed half way, or a
  // caller that left without shutdown()).
  ~Supervisor();
  Supervisor(const Supervisor&) = delete;
  Supervisor& operator=(const Supervisor&) = delete;

  // The start-up: home folder lock, "set.log" loaded (or replaced by the
  // defaults and saved), fields 2 and 3 set to the home folder, the language
  // table, flags cleared, statusBytes from fields 10000 to 10256, "set.log"
  // saved, the prepare hook, the box scan, the known senders, the seven workers, flag 80 = 1 and
  // protocol event 0. Anything but Started leaves no worker running.
  StartResult start(const SupervisorOptions& options);

  // One pass of the main loop: flag 88 rebuilds the windows, flag 80 = 0
  // leaves, flag 82 or 52 runs the reconfigure procedure (stop the workers in
  // order, the hook, clear every flag, reload the known senders, rescan the
  // boxes, start the workers again).
  TickResult tick();

  // Turns outside requests into flags as the desktop's menu does: leave sets
  // flag 80 to 0, checkNow sets flag 44 to 1, reconfigure sets flag 82 to 1.
  void applyOutsideRequests(const platform::OutsideRequests& requests);

  // The exit: protocol event 19, stop flags 71, 61, 51, 41, 31, 21, 11, the
  // wait for every running flag to be 0, then "set.log" read again and
  // statusBytes stored into fields 10000 to 10256. True when that save
  // succeeded. (If "set.log" no longer reads, the copy kept since start-up is
  // saved instead, so the settings are not lost.) Call once, after start()
  // returned Started.
  bool shutdown();

  const LanguageTable& language() const { return language_; }
  // Re-reads the language table for the letter in settings field 1.
  void reloadLanguage();

 private:
  bool saveSettings();
  bool storeHasBox();
  bool startWorkers();
  void stopWorkers();
  TickResult reconfigure();

  EngineState& state_;
  ProtocolWriter& protocol_;
  WorkerTable workers_;
  SupervisorHooks hooks_;
  SupervisorOptions options_;
  platform::InstanceLock lock_;
  LanguageTable language_;
  bool workersStarted_ = false;
};

}  // namespace qg
