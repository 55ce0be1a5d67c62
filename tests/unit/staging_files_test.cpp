#include "classify/staging_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

constexpr std::string_view kLine = "0000000000000001 00000010 0001 00000004 00000000\r\n";

TEST(StagingFiles, ListsTheSlotsOfOneStateInSlotOrder) {
  TestFolder folder;
  std::filesystem::create_directories(folder.path("TMP"));
  for (const char* name : {"00000010.hd", "00000002.hd", "00000003.hdr", "00000004.hd~",
                           "0000005.hd", "00000006.hd.tmp", "tmphead.tmp", "00009999.hd"}) {
    writeFile(folder.path(std::string("TMP/") + name), kLine);
  }
  EXPECT_EQ(
      stagingFilesIn(folder.root(), SlotState::New),
      (std::vector<std::string>{folder.path("TMP/00000002.hd"), folder.path("TMP/00000010.hd")}));
  const SlotStates states = stagingStatesIn(folder.root());
  EXPECT_TRUE(holds(states, SlotState::New));
  EXPECT_TRUE(holds(states, SlotState::Classified));
  EXPECT_TRUE(holds(states, SlotState::Finished));
  EXPECT_FALSE(holds(states, SlotState::Held));
  EXPECT_TRUE(stagingFilesIn(folder.path("missing"), SlotState::New).empty());
}

TEST(StagingFiles, RenameWritesTheRecordLineFirst) {
  TestFolder folder;
  EXPECT_EQ(stagingPathIn("/b/TMP/00000007.hdd", SlotState::New), "/b/TMP/00000007.hd");
  EXPECT_EQ(stagingPathIn("/b/TMP/00000007.hd", SlotState::Quarantined), "/b/TMP/00000007.hdz");

  const std::string path = folder.path("00000007.hd");
  writeFile(path, std::string(kLine) + "Subject: x\r\n");
  StagingLine line{0x22, 0x10, 1, 4, 0x80000002};
  const std::optional<std::string> renamed = renameStaging(path, line, SlotState::Classified);
  ASSERT_EQ(renamed, folder.path("00000007.hdr"));
  EXPECT_FALSE(fileExists(path));
  EXPECT_EQ(readFile(*renamed),
            "0000000000000022 00000010 0001 00000004 80000002\r\nSubject: x\r\n");

  // A line damaged meanwhile is not made valid, and the file stays put.
  writeFile(path, "damaged\r\nSubject: x\r\n");
  EXPECT_FALSE(renameStaging(path, line, SlotState::Classified));
  EXPECT_EQ(readFile(path), "damaged\r\nSubject: x\r\n");
  EXPECT_FALSE(renameStaging(folder.path("gone.hd"), line, SlotState::Classified));
}

}  // namespace
}  // namespace qg
