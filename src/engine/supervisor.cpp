#include "engine/supervisor.h"

#include <system_error>
#include <thread>
#include <utility>

#include "engine/known_senders.h"
#include "engine/mail_store.h"
#include "platform/file.h"
#include "platform/thread_name.h"

namespace qg {

namespace {

std::string joinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  path.append("/").append(name);
  return path;
}

}  // namespace

bool isValidWorkerTable(const WorkerTable& table) {
  for (std::size_t i = 0; i < kWorkers.size(); ++i) {
    const WorkerFlags& got = table[i].flags;
    const WorkerFlags& want = kWorkers[i];
    if (got.slot != want.slot || got.runningFlag != want.runningFlag ||
        got.stopFlag != want.stopFlag || !table[i].run) {
      return false;
    }
  }
  return true;
}

Supervisor::Supervisor(EngineState& state, ProtocolWriter& protocol, WorkerTable workers,
                       SupervisorHooks hooks)
    : state_(state), protocol_(protocol), workers_(std::move(workers)), hooks_(std::move(hooks)) {}

Supervisor::~Supervisor() {
  if (workersStarted_) stopWorkers();
}

StartResult Supervisor::start(const SupervisorOptions& options) {
  if (!isValidWorkerTable(workers_)) return StartResult::BadWorkerTable;
  if (options.homeFolder.empty() || options.homeFolder.size() > kPathTextLimit ||
      options.homeFolder.find('\0') != std::string::npos) {
    return StartResult::HomeTooLong;
  }
  options_ = options;
  switch (lock_.acquire(options_.homeFolder)) {
    case platform::LockStatus::Acquired:
      break;
    case platform::LockStatus::HeldByOther:
      return StartResult::AlreadyRunning;
    case platform::LockStatus::Failed:
      return StartResult::LockFailed;
  }

  PathBlock& paths = state_.paths;
  paths.setProgramDir(options_.homeFolder);
  state_.attachSettings();
  RecordFile& settings = state_.settings;
  bool loaded = settings.load();
  // The folders are set at every start. A file whose field 2 or 3 holds
  // another type cannot take them and counts as damaged.
  if (loaded && (settings.setText(paths.programDir, setting::kStoreDir) < 0 ||
                 settings.setText(paths.programDir, setting::kListDir) < 0)) {
    loaded = false;
  }
  if (!loaded) {
    fillDefaultSettings(settings, paths.programDir, options_.screen);
    if (!saveSettings()) return StartResult::SettingsUnwritable;
  }
  paths.setStoreDir(settings.getText(setting::kStoreDir));
  paths.setListDir(settings.getText(setting::kListDir));
  writeViewerCommand(paths.viewerCommand, kViewerIdle);

  reloadLanguage();

  state_.flags.clearAll();
  state_.statusBytesFromSettings();
  if (!saveSettings()) return StartResult::SettingsUnwritable;
  if (hooks_.prepare && !hooks_.prepare(state_)) return StartResult::PrepareFailed;

  if (!storeHasBox()) {
    // One chance to make a box (the setup wizard), then one more scan.
    if (!hooks_.noBox || !hooks_.noBox(state_) || !storeHasBox()) {
      state_.threadHandles.closeAll();
      return StartResult::NoBox;
    }
  }
  state_.threadHandles.closeAll();
  state_.flags.clearAll();

  loadKnownSenders(paths.listDir, paths.knownSenders);
  // Flag 80 is up before the first worker looks at it.
  state_.flags.set(flag::kEngineRunning, 1);
  if (!startWorkers()) {
    stopWorkers();
    return StartResult::ThreadFailed;
  }
  state_.flags.set(flag::kLanguageChanged, 0);
  protocol_.append(paths.programDir, kProtocolProgramStart, "", "");
  return StartResult::Started;
}

void Supervisor::reloadLanguage() {
  const std::uint8_t letter = state_.settings.getByte(setting::kLanguage);
  const int result = language_.load(joinPath(state_.paths.programDir, kLanguageFile), letter);
  if (result != kLanguageLoaded && !options_.resourceFolder.empty()) {
    language_.load(joinPath(options_.resourceFolder, kLanguageFile), letter);
  }
}

TickResult Supervisor::tick() {
  EngineFlags& flags = state_.flags;
  if (flags.get(flag::kLanguageChanged) != 0) {
    if (hooks_.rebuildWindows) hooks_.rebuildWindows();
    flags.set(flag::kLanguageChanged, 0);
  }
  if (flags.get(flag::kEngineRunning) == 0) return TickResult::Leave;
  if (flags.get(flag::kOpenWizard) != 0 || flags.get(flag::kFilterLoadFailed) != 0) {
    return reconfigure();
  }
  return TickResult::Running;
}

TickResult Supervisor::reconfigure() {
  const RestartCause cause = state_.flags.get(flag::kFilterLoadFailed) != 0
                                 ? RestartCause::FilterLoadFailed
                                 : RestartCause::Requested;
  stopWorkers();
  const bool again = hooks_.reconfigure ? hooks_.reconfigure(cause) : true;
  state_.threadHandles.closeAll();
  if (!again) return TickResult::Leave;
  // No worker runs: the one moment the whole array may be cleared.
  state_.flags.clearAll();
  loadKnownSenders(state_.paths.listDir, state_.paths.knownSenders);
  if (!storeHasBox()) return TickResult::LeaveNoBox;
  state_.flags.set(flag::kEngineRunning, 1);
  if (!startWorkers()) {
    stopWorkers();
    return TickResult::Leave;
  }
  return TickResult::Running;
}

void Supervisor::applyOutsideRequests(const platform::OutsideRequests& requests) {
  EngineFlags& flags = state_.flags;
  if (requests.checkNow) flags.set(flag::kCheckNow, 1);
  if (requests.reconfigure) flags.set(flag::kOpenWizard, 1);
  if (requests.leave) flags.set(flag::kEngineRunning, 0);
}

bool Supervisor::shutdown() {
  protocol_.append(state_.paths.programDir, kProtocolProgramEnd, "", "");
  stopWorkers();

  // Read the file again: a settings window may have saved it meanwhile.
  const RecordFile kept = state_.settings;
  bool loaded = false;
  for (int attempt = 0; attempt < kSettingsAttempts && !loaded; ++attempt) {
    if (attempt > 0) platform::sleepMilliseconds(kSettingsRetryMs);
    loaded = state_.settings.load();
  }
  if (!loaded) state_.settings = kept;
  state_.statusBytesToSettings();
  return saveSettings();
}

bool Supervisor::saveSettings() {
  for (int attempt = 0; attempt < kSettingsAttempts; ++attempt) {
    if (attempt > 0) platform::sleepMilliseconds(kSettingsRetryMs);
    if (state_.settings.save()) return true;
  }
  return false;
}

bool Supervisor::storeHasBox() {
  if (hooks_.hasBox) return hooks_.hasBox(state_.paths);
  return scanBoxes(state_.paths.storeDir, [](int, RecordFile&) { return false; }) > 0;
}

bool Supervisor::startWorkers() {
  for (const WorkerSpec& worker : workers_) {
    std::thread thread;
    try {
      thread = std::thread([&state = state_, worker]() {
        platform::nameCurrentThread(worker.threadName);
        state.flags.set(worker.flags.runningFlag, 1);
        worker.run(state);
        state.flags.set(worker.flags.runningFlag, 0);
      });
    } catch (const std::system_error&) {
      return false;
    }
    workersStarted_ = true;
    if (!state_.threadHandles.place(worker.flags.slot, thread)) {
      // The table is emptied before every start, so this is a broken
      // invariant: end the thread rather than lose it.
      state_.flags.set(worker.flags.stopFlag, 1);
      thread.join();
      return false;
    }
  }
  return true;
}

void Supervisor::stopWorkers() {
  EngineFlags& flags = state_.flags;
  for (const WorkerSpec& worker : workers_) flags.set(worker.flags.stopFlag, 1);
  auto allStopped = [&] {
    for (const WorkerSpec& worker : workers_) {
      if (flags.get(worker.flags.runningFlag) != 0) return false;
    }
    return true;
  };
  while (!allStopped()) {
    if (hooks_.whileWaiting) hooks_.whileWaiting();
    platform::sleepMilliseconds(kStopPollMs);
  }
  // A thread that had not yet raised its running flag sees its stop flag
  // first thing; joining here means none is left behind.
  state_.threadHandles.closeAll();
  state_.paths.knownSenders.clear();
  workersStarted_ = false;
}

}  // namespace qg
