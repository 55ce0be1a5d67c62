#include "retrieval/staging_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/file_primitives.h"
#include "engine/staging_line.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

std::string stagingFile(std::uint32_t size, std::uint16_t number) {
  StagingLine line;
  line.size = size;
  line.serverNumber = number;
  const StagingLineBytes bytes = formatStagingLine(line);
  return std::string(bytes.begin(), bytes.end()) + "From: a\r\n\r\n";
}

TEST(StagingTable, ScanKeepsValidSlotsAndDeletesDamagedOnes) {
  TestFolder folder;
  const std::string box = folder.root();
  std::filesystem::create_directories(box + "/TMP");
  writeFile(slotFilePath(box, 0, SlotState::New), stagingFile(100, 1));
  writeFile(slotFilePath(box, 1, SlotState::Finished), stagingFile(200, kMaxServerMessages));
  // Slot 2 in two states: the lookup order makes "hdr" the one that counts.
  writeFile(slotFilePath(box, 2, SlotState::Finished), stagingFile(1, 9));
  writeFile(slotFilePath(box, 2, SlotState::Classified), stagingFile(100, 3));
  // A record line one character short, and a server number beyond the fetch.
  std::string shortLine = stagingFile(300, 4);
  shortLine.erase(10, 1);
  writeFile(slotFilePath(box, 5, SlotState::Held), shortLine);
  writeFile(slotFilePath(box, 6, SlotState::Quarantined), stagingFile(400, kMaxServerMessages + 1));
  // Not staging files: left alone.
  writeFile(box + "/TMP/tmphead.tmp", "x");
  writeFile(box + "/TMP/00009999.hd", "x");

  StagingTable table;
  table.scan(box);
  EXPECT_TRUE(table[0].present);
  EXPECT_EQ(table[1].serverNumber, kMaxServerMessages);
  EXPECT_EQ(table[2].state, SlotState::Classified);
  EXPECT_EQ(table.unmatchedOfSize(100), (std::vector<int>{0, 2}));
  EXPECT_FALSE(table[5].present);
  EXPECT_FALSE(fileExists(slotFilePath(box, 5, SlotState::Held)));
  EXPECT_FALSE(fileExists(slotFilePath(box, 6, SlotState::Quarantined)));
  EXPECT_TRUE(fileExists(box + "/TMP/tmphead.tmp"));
  EXPECT_TRUE(fileExists(box + "/TMP/00009999.hd"));

  table.markMatched(0);
  table.markMatched(2);
  EXPECT_EQ(table.unmatched(), (std::vector<int>{1}));
  // Free slots for new messages: the lowest first, never one holding a file.
  writeFile(slotFilePath(box, 3, SlotState::UserDecision), "appeared meanwhile");
  EXPECT_EQ(table.takeFree(box), 4);
  EXPECT_EQ(table.takeFree(box), 5);
  table.release(1);
  EXPECT_FALSE(table.anyUnmatched());
}

}  // namespace
}  // namespace qg
