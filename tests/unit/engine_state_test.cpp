#include "engine/engine_state.h"

#include <gtest/gtest.h>

#include <set>

#include "test_folder.h"

namespace qg {
namespace {

TEST(EngineState, FlagsStartClearAndIgnoreNumbersOutsideTheArray) {
  EngineState state;
  for (int k = 0; k < EngineFlags::kCount; ++k) ASSERT_EQ(state.flags.get(k), 0);
  state.flags.set(flag::kCheckNow, 7);
  state.flags.set(99, -1);
  state.flags.set(100, 5);
  state.flags.set(-1, 5);
  EXPECT_EQ(state.flags.get(44), 7);
  EXPECT_EQ(state.flags.get(99), -1);
  EXPECT_EQ(state.flags.get(100), 0);
  EXPECT_EQ(state.flags.get(-1), 0);
  state.flags.clearAll();
  EXPECT_EQ(state.flags.get(44), 0);
  EXPECT_EQ(state.flags.get(99), 0);
}

TEST(EngineState, WorkersOwnDistinctGroupsOfTen) {
  std::set<int> slots;
  for (const WorkerFlags& worker : kWorkers) {
    EXPECT_EQ(worker.runningFlag % 10, 0);
    EXPECT_EQ(worker.stopFlag, worker.runningFlag + 1);
    slots.insert(worker.slot);
  }
  EXPECT_EQ(slots.size(), kWorkers.size());
  EXPECT_EQ(slots.count(slot::kWizard), 0u);
  // The supervisor stops the local servers first and the DNSBL checker last.
  EXPECT_EQ(kWorkers.front().stopFlag, flag::kPop3Stop);
  EXPECT_EQ(kWorkers.back().stopFlag, flag::kDnsblStop);
}

TEST(EngineState, WorkersStopWhenTheirStopFlagIsSeen) {
  EngineState state;
  for (const WorkerFlags& worker : kWorkers) {
    std::thread thread([&flags = state.flags, worker] {
      flags.set(worker.runningFlag, 1);
      while (flags.get(worker.stopFlag) == 0) std::this_thread::yield();
      flags.set(worker.runningFlag, 0);
    });
    ASSERT_TRUE(state.threadHandles.place(worker.slot, thread));
  }
  std::thread extra([] {});
  EXPECT_FALSE(state.threadHandles.place(slot::kFetcher, extra));  // slot taken
  EXPECT_FALSE(state.threadHandles.place(ThreadTable::kSlots, extra));
  extra.join();

  requestWorkerStops(state.flags);
  while (!allWorkersStopped(state.flags)) std::this_thread::yield();
  state.threadHandles.closeAll();
  for (int k = 0; k < ThreadTable::kSlots; ++k) EXPECT_FALSE(state.threadHandles.occupied(k));
}

TEST(EngineState, PathTextsAreCutToTheBufferLimit) {
  PathBlock paths;
  paths.setProgramDir(std::string(600, 'p'));
  paths.setStoreDir(std::string("/home/u\0tail", 12));
  paths.setListDir("/home/u/lists");
  EXPECT_EQ(paths.programDir.size(), kPathTextLimit);
  EXPECT_EQ(paths.storeDir, "/home/u");
  EXPECT_EQ(paths.listDir, "/home/u/lists");
}

TEST(EngineState, ViewerQuitHandshake) {
  std::string command;
  writeViewerCommand(command, kViewerIdle);
  EXPECT_EQ(viewerCommandWord(command), "NO WIEV");
  EXPECT_FALSE(viewerHasQuit(command));

  writeViewerCommand(command, kViewerQuit);
  EXPECT_EQ(viewerCommandWord(command), "QUIT");
  EXPECT_FALSE(viewerHasQuit(command));  // "NO WIEV" leaves "IEV" behind, not "_END_"

  acknowledgeViewerQuit(command);
  EXPECT_EQ(command.substr(0, 10), std::string("QUIT\0_END_", 10));
  EXPECT_TRUE(viewerHasQuit(command));
  // The main loop writes "QUIT" on every pass; the answer must survive it.
  writeViewerCommand(command, kViewerQuit);
  EXPECT_TRUE(viewerHasQuit(command));

  writeViewerCommand(command, std::string(700, 'x'));
  EXPECT_EQ(viewerCommandWord(command).size(), kPathTextLimit);
  EXPECT_LE(command.size(), kPathBytes);
}

TEST(EngineState, StatusBytesPersistInSettingsFields) {
  TestFolder folder;
  EngineState state;
  state.paths.setProgramDir(folder.root());
  state.attachSettings();
  state.settings.setText("kept", 2);
  state.settings.setInt(-7, kStatusFieldBase + 3);  // wrong type: cannot hold byte 3
  for (std::size_t i = 0; i < kStatusByteCount; ++i) {
    state.paths.statusBytes[i] = static_cast<std::uint8_t>(i * 3 + 1);
  }
  EXPECT_FALSE(state.statusBytesToSettings());
  ASSERT_TRUE(state.settings.save());

  EngineState next;
  next.paths.setProgramDir(folder.root());
  next.attachSettings();
  ASSERT_TRUE(next.settings.load());
  next.statusBytesFromSettings();
  for (std::size_t i = 0; i < kStatusByteCount; ++i) {
    const std::uint8_t want = i == 3 ? 0 : static_cast<std::uint8_t>(i * 3 + 1);
    ASSERT_EQ(next.paths.statusBytes[i], want) << "status byte " << i;
  }
  EXPECT_EQ(next.settings.getText(2), "kept");
}

}  // namespace
}  // namespace qg
