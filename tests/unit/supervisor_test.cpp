#include "engine/supervisor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "engine/protocol_file.h"
#include "engine/record_file.h"
#include "platform/file_listing.h"
#include "test_folder.h"

namespace qg {
namespace {

// Seven stand-in workers: each counts its starts, waits for its stop flag and
// notes when the stop flags ahead of it in the stop order were not yet set.
struct FakeWorkers {
  std::array<std::atomic<int>, 7> starts{};
  std::atomic<bool> stopOrderBroken{false};

  WorkerTable table() {
    WorkerTable workers;
    for (std::size_t i = 0; i < kWorkers.size(); ++i) {
      workers[i] = WorkerSpec{kWorkers[i], "qg-test", [this, i](EngineState& state) {
                                starts[i].fetch_add(1);
                                while (state.flags.get(kWorkers[i].stopFlag) == 0) {
                                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                }
                                for (std::size_t j = 0; j < i; ++j) {
                                  if (state.flags.get(kWorkers[j].stopFlag) == 0) {
                                    stopOrderBroken = true;
                                  }
                                }
                              }};
    }
    return workers;
  }
  std::vector<int> startCounts() const {
    std::vector<int> counts;
    for (const auto& count : starts) counts.push_back(count.load());
    return counts;
  }
};

bool allRunning(const EngineFlags& flags) {
  for (const WorkerFlags& worker : kWorkers) {
    if (flags.get(worker.runningFlag) != 1) return false;
  }
  return true;
}

void waitUntilAllRunning(const EngineFlags& flags) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!allRunning(flags) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(allRunning(flags));
}

RecordFile settingsOnDisk(const std::string& home) {
  RecordFile file;
  file.setDirectory(home);
  file.setName(kSettingsFile);
  EXPECT_TRUE(file.load());
  return file;
}

std::vector<std::uint8_t> protocolTypes(const std::string& home) {
  std::vector<std::string> names;
  platform::listFileNames(home, names);
  std::vector<std::uint8_t> types;
  for (const std::string& name : names) {
    if (name.size() < 4 || name.substr(name.size() - 4) != ".prt") continue;
    std::vector<ProtocolRecord> records;
    readProtocolFile(home + "/" + name, records);
    for (const ProtocolRecord& record : records) types.push_back(record.type);
  }
  return types;
}

class SupervisorTest : public ::testing::Test {
 protected:
  SupervisorTest() {
    hooks.hasBox = [this](const PathBlock&) { return boxPresent.load(); };
  }

  StartResult start(Supervisor& supervisor) {
    SupervisorOptions options;
    options.homeFolder = home.root();
    return supervisor.start(options);
  }

  TestFolder home;
  EngineState state;
  ProtocolWriter protocol;
  FakeWorkers workers;
  SupervisorHooks hooks;
  std::atomic<bool> boxPresent{true};
};

TEST_F(SupervisorTest, EmptyHomeGetsDefaultSettingsAndNoWorkerStarts) {
  boxPresent = false;
  Supervisor supervisor(state, protocol, workers.table(), hooks);
  EXPECT_EQ(start(supervisor), StartResult::NoBox);
  EXPECT_EQ(workers.startCounts(), std::vector<int>(7, 0));

  const RecordFile settings = settingsOnDisk(home.root());
  struct Want {
    std::uint32_t field;
    FieldType type;
    std::int64_t value;
  };
  // The setup window (793 x 565) centred on the assumed 1024 x 768 screen.
  const Want wants[] = {
      {1, FieldType::Byte, 'e'}, {4, FieldType::Int, 115},  {5, FieldType::Int, 101},
      {6, FieldType::Int, 793},  {7, FieldType::Int, 565},  {10, FieldType::Flag, 1},
      {20, FieldType::Short, 1}, {39, FieldType::Int64, 0}, {41, FieldType::Byte, 1},
      {54, FieldType::Byte, 3},  {71, FieldType::Int, -1},
  };
  const std::vector<StoredField> fields = settings.fields();
  for (const Want& want : wants) {
    SCOPED_TRACE(want.field);
    const auto found = std::find_if(fields.begin(), fields.end(),
                                    [&](const StoredField& f) { return f.number == want.field; });
    ASSERT_NE(found, fields.end());
    EXPECT_EQ(found->type, want.type);
    EXPECT_EQ(found->value, want.value);
  }
  EXPECT_EQ(settings.getText(2), home.root());
  EXPECT_EQ(settings.getText(3), home.root());
  EXPECT_EQ(settings.typeOf(35), FieldType::Text);
  EXPECT_FALSE(settings.typeOf(42).has_value());
  // The status bytes of a new file are stored only at the first exit.
  EXPECT_FALSE(settings.typeOf(kStatusFieldBase).has_value());
  ASSERT_EQ(fields.size(), 48u);
  EXPECT_EQ(fields.front().number, 1u);
  EXPECT_EQ(fields.back().number, 71u);
}

TEST_F(SupervisorTest, NoBoxHookGetsOneChanceBeforeTheStartGivesUp) {
  for (const bool hookMakesBox : {true, false}) {
    SCOPED_TRACE(hookMakesBox);
    EngineState fresh;
    FakeWorkers fakes;
    boxPresent = false;
    int calls = 0;
    SupervisorHooks withWizard = hooks;
    withWizard.noBox = [&](EngineState&) {
      ++calls;
      boxPresent = hookMakesBox;
      return true;
    };
    Supervisor supervisor(fresh, protocol, fakes.table(), withWizard);
    SupervisorOptions options;
    options.homeFolder = home.root();
    EXPECT_EQ(supervisor.start(options), hookMakesBox ? StartResult::Started : StartResult::NoBox);
    EXPECT_EQ(calls, 1);
    if (hookMakesBox) {
      EXPECT_TRUE(supervisor.shutdown());
    }
  }
}

TEST_F(SupervisorTest, PrepareHookRunsUnderTheLockBeforeTheBoxScan) {
  boxPresent = false;
  int calls = 0;
  SupervisorHooks preparing = hooks;
  preparing.prepare = [&](EngineState& prepared) {
    ++calls;
    // The settings are on disk and the paths set; the box the hook makes is found.
    EXPECT_EQ(prepared.paths.storeDir, home.root());
    EXPECT_EQ(settingsOnDisk(home.root()).getText(2), home.root());
    boxPresent = true;
    return true;
  };
  {
    Supervisor first(state, protocol, workers.table(), preparing);
    ASSERT_EQ(start(first), StartResult::Started);
    EXPECT_EQ(calls, 1);

    // A second copy never gets to prepare anything in the first one's home.
    EngineState otherState;
    FakeWorkers otherWorkers;
    Supervisor second(otherState, protocol, otherWorkers.table(), preparing);
    EXPECT_EQ(start(second), StartResult::AlreadyRunning);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(first.shutdown());
  }

  EngineState refusedState;
  FakeWorkers refusedWorkers;
  SupervisorHooks refusing = hooks;
  refusing.prepare = [](EngineState&) { return false; };
  Supervisor refused(refusedState, protocol, refusedWorkers.table(), refusing);
  EXPECT_EQ(start(refused), StartResult::PrepareFailed);
  EXPECT_EQ(refusedWorkers.startCounts(), std::vector<int>(7, 0));
}

TEST_F(SupervisorTest, SecondCopyOnTheSameHomeIsRefusedUntilTheFirstEnds) {
  {
    Supervisor first(state, protocol, workers.table(), hooks);
    ASSERT_EQ(start(first), StartResult::Started);
    EngineState otherState;
    FakeWorkers otherWorkers;
    Supervisor second(otherState, protocol, otherWorkers.table(), hooks);
    EXPECT_EQ(start(second), StartResult::AlreadyRunning);
    EXPECT_EQ(otherWorkers.startCounts(), std::vector<int>(7, 0));
    EXPECT_TRUE(first.shutdown());
  }
  EngineState laterState;
  FakeWorkers laterWorkers;
  Supervisor later(laterState, protocol, laterWorkers.table(), hooks);
  EXPECT_EQ(start(later), StartResult::Started);
  EXPECT_TRUE(later.shutdown());
}

TEST_F(SupervisorTest, StartResetsTheFoldersKeepsOtherSettingsAndLoadsStatusAndLanguage) {
  RecordFile before;
  before.setDirectory(home.root());
  before.setName(kSettingsFile);
  before.setByte('r', 1);
  before.setText("/somewhere/else", 2);
  before.setText("kept", 500);
  before.setByte(42, kStatusFieldBase + 3);
  ASSERT_TRUE(before.save());
  {
    // Sections "e" and "r", one text each.
    const std::vector<std::uint8_t> bytes = {12, 0, 0, 0, 'e', 1, 0, 0, 0, 'H', 'i', 0,  //
                                             25, 0, 0, 0, 'r', 1, 0, 0, 0, 'P', 'r', 'y', 0};
    std::ofstream(home.path("language.dat"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Supervisor supervisor(state, protocol, workers.table(), hooks);
  ASSERT_EQ(start(supervisor), StartResult::Started);

  EXPECT_EQ(state.paths.programDir, home.root());
  EXPECT_EQ(state.paths.storeDir, home.root());
  EXPECT_EQ(state.paths.listDir, home.root());
  EXPECT_EQ(viewerCommandWord(state.paths.viewerCommand), kViewerIdle);
  EXPECT_EQ(state.paths.statusBytes[3], 42);
  EXPECT_EQ(state.paths.statusBytes[4], 0);
  EXPECT_EQ(supervisor.language().text(1), "Pry");
  EXPECT_EQ(state.flags.get(flag::kEngineRunning), 1);
  const RecordFile saved = settingsOnDisk(home.root());
  EXPECT_EQ(saved.getText(2), home.root());
  EXPECT_EQ(saved.getText(500), "kept");
  EXPECT_EQ(saved.getByte(1), 'r');
  EXPECT_TRUE(supervisor.shutdown());
}

TEST_F(SupervisorTest, UnreadableOrMistypedSettingsAreReplacedByTheDefaults) {
  struct Case {
    const char* name;
    bool damaged;  // else: field 2 holds a number, so the store folder cannot be set
  };
  for (const Case& c : {Case{"damaged", true}, Case{"mistyped", false}}) {
    SCOPED_TRACE(c.name);
    TestFolder folder;
    if (c.damaged) {
      std::ofstream(folder.path("set.log")) << "not a record file";
    } else {
      RecordFile before;
      before.setDirectory(folder.root());
      before.setName(kSettingsFile);
      before.setInt(7, 2);
      before.setByte('u', 1);
      ASSERT_TRUE(before.save());
    }
    EngineState fresh;
    FakeWorkers fakes;
    Supervisor supervisor(fresh, protocol, fakes.table(), hooks);
    SupervisorOptions options;
    options.homeFolder = folder.root();
    ASSERT_EQ(supervisor.start(options), StartResult::Started);
    EXPECT_EQ(fresh.paths.storeDir, folder.root());
    const RecordFile saved = settingsOnDisk(folder.root());
    EXPECT_EQ(saved.getText(2), folder.root());
    EXPECT_EQ(saved.getByte(1), 'e');
    EXPECT_TRUE(supervisor.shutdown());
  }
}

TEST_F(SupervisorTest, ExitStopsEveryWorkerInOrderAndStoresTheStatusBytes) {
  Supervisor supervisor(state, protocol, workers.table(), hooks);
  ASSERT_EQ(start(supervisor), StartResult::Started);
  waitUntilAllRunning(state.flags);
  state.paths.statusBytes[0] = 7;
  state.paths.statusBytes[kFetchCounterIndex] = 200;

  EXPECT_EQ(supervisor.tick(), TickResult::Running);
  platform::OutsideRequests leave;
  leave.leave = true;
  supervisor.applyOutsideRequests(leave);
  EXPECT_EQ(state.flags.get(flag::kEngineRunning), 0);
  EXPECT_EQ(supervisor.tick(), TickResult::Leave);
  EXPECT_TRUE(supervisor.shutdown());

  for (const WorkerFlags& worker : kWorkers) {
    EXPECT_EQ(state.flags.get(worker.runningFlag), 0);
    EXPECT_EQ(state.flags.get(worker.stopFlag), 1);
  }
  EXPECT_FALSE(workers.stopOrderBroken);
  EXPECT_EQ(workers.startCounts(), std::vector<int>(7, 1));
  const RecordFile saved = settingsOnDisk(home.root());
  for (std::uint32_t i = 0; i < kStatusByteCount; ++i) {
    ASSERT_EQ(saved.typeOf(kStatusFieldBase + i), FieldType::Byte) << i;
  }
  EXPECT_EQ(saved.getByte(kStatusFieldBase), 7);
  EXPECT_EQ(saved.getByte(kStatusFieldBase + 256), 200);
  EXPECT_EQ(saved.getByte(kStatusFieldBase + 1), 0);
  EXPECT_EQ(protocolTypes(home.root()),
            (std::vector<std::uint8_t>{kProtocolProgramStart, kProtocolProgramEnd}));
}

TEST_F(SupervisorTest, ExitKeepsSettingsThatAnotherWriterSavedMeanwhile) {
  Supervisor supervisor(state, protocol, workers.table(), hooks);
  ASSERT_EQ(start(supervisor), StartResult::Started);
  RecordFile window = settingsOnDisk(home.root());
  window.setByte('u', 1);
  ASSERT_TRUE(window.save());
  state.paths.statusBytes[9] = 9;
  state.flags.set(flag::kEngineRunning, 0);
  ASSERT_EQ(supervisor.tick(), TickResult::Leave);
  EXPECT_TRUE(supervisor.shutdown());
  const RecordFile saved = settingsOnDisk(home.root());
  EXPECT_EQ(saved.getByte(1), 'u');
  EXPECT_EQ(saved.getByte(kStatusFieldBase + 9), 9);
}

TEST_F(SupervisorTest, ReconfigureRestartsEveryWorkerWithAllFlagsCleared) {
  std::vector<RestartCause> causes;
  bool workersStoppedInHook = false;
  hooks.reconfigure = [&](RestartCause cause) {
    causes.push_back(cause);
    workersStoppedInHook = allWorkersStopped(state.flags) && state.paths.knownSenders.empty();
    return true;
  };
  Supervisor supervisor(state, protocol, workers.table(), hooks);
  ASSERT_EQ(start(supervisor), StartResult::Started);
  waitUntilAllRunning(state.flags);
  EXPECT_EQ(state.paths.knownSenders.size(), 4u);  // an empty list: the count word

  platform::OutsideRequests requests;
  requests.reconfigure = true;
  requests.checkNow = true;
  supervisor.applyOutsideRequests(requests);
  EXPECT_EQ(state.flags.get(flag::kCheckNow), 1);
  state.flags.set(flag::kAnalysisBusy, 3);  // a status word a worker left behind
  EXPECT_EQ(supervisor.tick(), TickResult::Running);

  EXPECT_EQ(causes, std::vector<RestartCause>{RestartCause::Requested});
  EXPECT_TRUE(workersStoppedInHook);
  EXPECT_FALSE(workers.stopOrderBroken);
  waitUntilAllRunning(state.flags);
  EXPECT_EQ(workers.startCounts(), std::vector<int>(7, 2));
  for (int k = 0; k < EngineFlags::kCount; ++k) {
    bool isRunningFlag = k == flag::kEngineRunning;
    for (const WorkerFlags& worker : kWorkers) isRunningFlag |= k == worker.runningFlag;
    EXPECT_EQ(state.flags.get(k), isRunningFlag ? 1 : 0) << "flag " << k;
  }
  EXPECT_EQ(state.paths.knownSenders.size(), 4u);
  EXPECT_TRUE(supervisor.shutdown());
}

TEST_F(SupervisorTest, FilterLoadFailureStopsTheWorkersAndLetsTheHookDecide) {
  for (const bool restart : {false, true}) {
    SCOPED_TRACE(restart);
    TestFolder folder;
    EngineState fresh;
    FakeWorkers fakes;
    std::vector<RestartCause> causes;
    SupervisorHooks withHook = hooks;
    withHook.reconfigure = [&](RestartCause cause) {
      causes.push_back(cause);
      return restart;
    };
    Supervisor supervisor(fresh, protocol, fakes.table(), withHook);
    SupervisorOptions options;
    options.homeFolder = folder.root();
    ASSERT_EQ(supervisor.start(options), StartResult::Started);
    waitUntilAllRunning(fresh.flags);
    fresh.flags.set(flag::kFilterLoadFailed, 1);
    EXPECT_EQ(supervisor.tick(), restart ? TickResult::Running : TickResult::Leave);
    EXPECT_EQ(causes, std::vector<RestartCause>{RestartCause::FilterLoadFailed});
    if (restart) {
      waitUntilAllRunning(fresh.flags);
      EXPECT_EQ(fresh.flags.get(flag::kFilterLoadFailed), 0);
      EXPECT_EQ(fakes.startCounts(), std::vector<int>(7, 2));
    } else {
      EXPECT_TRUE(allWorkersStopped(fresh.flags));
      EXPECT_EQ(fakes.startCounts(), std::vector<int>(7, 1));
    }
    EXPECT_TRUE(supervisor.shutdown());
    EXPECT_TRUE(allWorkersStopped(fresh.flags));
  }
}

TEST_F(SupervisorTest, ReconfigureThatFindsNoBoxLeavesWithoutRestarting) {
  Supervisor supervisor(state, protocol, workers.table(), hooks);
  ASSERT_EQ(start(supervisor), StartResult::Started);
  boxPresent = false;
  state.flags.set(flag::kOpenWizard, 1);
  EXPECT_EQ(supervisor.tick(), TickResult::LeaveNoBox);
  EXPECT_TRUE(allWorkersStopped(state.flags));
  EXPECT_EQ(workers.startCounts(), std::vector<int>(7, 1));
  EXPECT_TRUE(supervisor.shutdown());
}

TEST_F(SupervisorTest, LanguageChangeRebuildsTheWindowsWhileTheWorkersRunOn) {
  int rebuilds = 0;
  hooks.rebuildWindows = [&] { ++rebuilds; };
  Supervisor supervisor(state, protocol, workers.table(), hooks);
  ASSERT_EQ(start(supervisor), StartResult::Started);
  waitUntilAllRunning(state.flags);
  state.flags.set(flag::kLanguageChanged, 1);
  EXPECT_EQ(supervisor.tick(), TickResult::Running);
  EXPECT_EQ(rebuilds, 1);
  EXPECT_EQ(state.flags.get(flag::kLanguageChanged), 0);
  EXPECT_TRUE(allRunning(state.flags));
  EXPECT_EQ(workers.startCounts(), std::vector<int>(7, 1));
  EXPECT_TRUE(supervisor.shutdown());
  // Only the first start of the program is an event; the rebuild is not.
  EXPECT_EQ(protocolTypes(home.root()),
            (std::vector<std::uint8_t>{kProtocolProgramStart, kProtocolProgramEnd}));
}

TEST_F(SupervisorTest, WorkerTableOutOfOrderOrIncompleteIsRefused) {
  WorkerTable swapped = workers.table();
  std::swap(swapped[0], swapped[1]);
  WorkerTable missing = workers.table();
  missing[6].run = nullptr;
  for (WorkerTable* table : {&swapped, &missing}) {
    EXPECT_FALSE(isValidWorkerTable(*table));
    Supervisor supervisor(state, protocol, *table, hooks);
    EXPECT_EQ(start(supervisor), StartResult::BadWorkerTable);
  }
  EXPECT_TRUE(isValidWorkerTable(workers.table()));
  EXPECT_EQ(workers.startCounts(), std::vector<int>(7, 0));
}

}  // namespace
}  // namespace qg
