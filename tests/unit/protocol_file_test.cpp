#include "engine/protocol_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "engine/log_periods.h"
#include "engine/log_table.h"
#include "test_files.h"
#include "test_folder.h"
#include "text/date_record.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

const std::int64_t kT0 = DateRecord::fromFields(2024, 3, 10, 12, 0, 0).stamp;
const std::int64_t kT1 = DateRecord::fromFields(2024, 3, 10, 12, 0, 5).stamp;

std::string protocolFile(const std::string& folder, std::uint32_t period) {
  return logFilePath(folder, periodFileName(period, kProtocolExtension));
}

// A protocol file of count records of type 1.
std::string tableOf(std::size_t count) {
  LogTable table(kProtocolRecordSize);
  for (std::size_t i = 0; i < count; ++i) {
    encodeProtocolRecord(ProtocolRecord{kT0, 1, "", ""},
                         table.append().first<kProtocolRecordSize>());
  }
  return std::string(table.bytes().begin(), table.bytes().end());
}

std::vector<ProtocolRecord> records(const std::string& path) {
  std::vector<ProtocolRecord> out;
  EXPECT_EQ(readProtocolFile(path, out), 1) << path;
  return out;
}

// Program start and a classification with texts longer than 74 bytes: the
// file matches the golden bytes, texts cut at 74, Windows-1251 bytes kept.
TEST(ProtocolWriter, TwoEventsGiveTheGoldenFile) {
  TestFolder folder;
  ProtocolWriter writer;
  const std::string first = "Ivan Petrov <ivan.petrov@example.com> " + std::string(50, 'a');
  std::string second = "\xCF\xF0\xE8\xE2\xE5\xF2 ";
  for (int i = 0; i < 9; ++i) second += "0123456789";
  EXPECT_EQ(writer.append(folder.root(), kProtocolProgramStart, "", "", kT0), kProtocolAppended);
  EXPECT_EQ(writer.append(folder.root(), kProtocolSpam, first, second, kT1), kProtocolAppended);

  const std::string path = protocolFile(folder.root(), periodOfStamp(kT0));
  EXPECT_EQ(readFile(path),
            readFile(std::string(QG_TEST_DATA_DIR) + "/log/protocol_two_events.prt"));
  const auto got = records(path);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].first, first.substr(0, kLogTextLimit));
  EXPECT_EQ(got[1].second.size(), kLogTextLimit);
}

// 31,447 records make 5,000,077 bytes: that file still takes the next event,
// the one after goes to a new file.
TEST(ProtocolWriter, FileOfFiveMillionBytesTakesOneMoreThenANewFileStarts) {
  TestFolder folder;
  const std::uint32_t fullPeriod = periodOfStamp(kT0) - 5;
  const std::string full = protocolFile(folder.root(), fullPeriod);
  writeFile(full, tableOf(31447));
  ASSERT_GE(fs::file_size(full), static_cast<std::uintmax_t>(kProtocolRollBytes));

  ProtocolWriter writer;
  ASSERT_EQ(writer.append(folder.root(), 3, "one", "", kT0), kProtocolAppended);
  ASSERT_EQ(writer.append(folder.root(), 3, "two", "", kT1), kProtocolAppended);
  const auto old = records(full);
  ASSERT_EQ(old.size(), 31448u);
  EXPECT_EQ(old.back().first, "one");
  const auto fresh = records(protocolFile(folder.root(), periodOfStamp(kT0)));
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_EQ(fresh[0].first, "two");
}

TEST(ProtocolWriter, IgnoresFilesNotSpeltAsItSpellsThem) {
  TestFolder folder;
  // Newer by number, but the writer would reopen it as "0000FFFF.prt": it must
  // neither count as the current file nor be deleted.
  writeFile(folder.path("ffff.prt"), tableOf(0));
  EXPECT_TRUE(peekLogPeriods(folder.root(), kProtocolExtension).empty());
  ProtocolWriter writer;
  ASSERT_EQ(writer.append(folder.root(), 1, "", "", kT0), kProtocolAppended);
  EXPECT_EQ(records(protocolFile(folder.root(), periodOfStamp(kT0))).size(), 1u);
  EXPECT_TRUE(fs::exists(folder.path("ffff.prt")));
}

TEST(ProtocolWriter, OnlyTheHundredNewestFilesAreKept) {
  TestFolder folder;
  for (std::uint32_t period = 0x100; period <= 0x164; ++period) {
    writeFile(protocolFile(folder.root(), period), tableOf(0));
  }
  // A reading tool's listing deletes nothing.
  EXPECT_EQ(peekLogPeriods(folder.root(), kProtocolExtension).size(), 101u);
  ProtocolWriter writer;
  ASSERT_EQ(writer.append(folder.root(), 1, "", "", kT0), kProtocolAppended);
  EXPECT_FALSE(fs::exists(protocolFile(folder.root(), 0x100)));
  EXPECT_TRUE(fs::exists(protocolFile(folder.root(), 0x101)));
  EXPECT_EQ(records(protocolFile(folder.root(), 0x164)).size(), 1u);
  EXPECT_EQ(listLogPeriods(folder.root(), kProtocolExtension).size(), kKeptLogFiles);
}

// A damaged file: the count runs past the records, or a record is torn at the
// end. The new record goes right behind the last whole counted record and
// the count matches the records again.
TEST(ProtocolWriter, AppendAfterDamageLandsBehindTheLastWholeRecord) {
  struct Case {
    const char* what;
    std::string content;
    std::size_t wantRecords;
  };
  std::string countTooHigh = tableOf(2);
  countTooHigh[0] = 9;
  const Case cases[] = {
      {"count past the records", countTooHigh, 3},
      {"torn last record", tableOf(2) + std::string(40, 'x'), 3},
      {"record behind the count", tableOf(2) + tableOf(1).substr(4), 3},
      {"short count word", "\x01\x00", 1},
      {"empty file", "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestFolder folder;
    const std::string path = protocolFile(folder.root(), periodOfStamp(kT0));
    writeFile(path, c.content);
    ProtocolWriter writer;
    ASSERT_EQ(writer.append(folder.root(), 13, "new", "", kT1), kProtocolAppended);
    EXPECT_EQ(fs::file_size(path), 4 + c.wantRecords * kProtocolRecordSize);
    const auto got = records(path);
    ASSERT_EQ(got.size(), c.wantRecords);
    EXPECT_EQ(got.back(), (ProtocolRecord{kT1, 13, "new", ""}));
  }
}

TEST(ProtocolWriter, EventIsLostWhenNoFileCanBeCreatedAndTheNextOneTriesAgain) {
  TestFolder folder;
  const std::string missing = folder.path("gone");
  ProtocolWriter writer;
  EXPECT_EQ(writer.append(missing, 0, "", "", kT0), kProtocolLost);
  fs::create_directory(missing);
  EXPECT_EQ(writer.append(missing, 19, "", "", kT1), kProtocolAppended);
  const auto got = records(protocolFile(missing, periodOfStamp(kT1)));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].type, 19);
}

TEST(ProtocolWriter, ConcurrentWritersLoseNoRecord) {
  TestFolder folder;
  ProtocolWriter writer;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        writer.append(folder.root(), static_cast<std::uint8_t>(t), std::to_string(i), "x", kT0);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const auto got = records(protocolFile(folder.root(), periodOfStamp(kT0)));
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kThreads * kPerThread));
  std::vector<int> next(kThreads, 0);
  for (const ProtocolRecord& record : got) {
    ASSERT_LT(record.type, kThreads);
    EXPECT_EQ(record.first, std::to_string(next[record.type]++));  // each thread's order kept
    EXPECT_EQ(record.second, "x");
  }
}

TEST(LogPeriods, FileNamesAndNewPeriods) {
  EXPECT_EQ(periodFileName(0x1A2B, ".prt"), "00001A2B.prt");
  EXPECT_EQ(parsePeriodFileName("00001a2b.prt", ".prt"), 0x1A2Bu);
  EXPECT_EQ(parsePeriodFileName("1A2B.prt", ".prt"), 0x1A2Bu);
  for (const char* bad :
       {".prt", "123456789.prt", "0000001G.prt", "00001A2B.hst", "00001A2B.prt~", "00001A2B.PRT"}) {
    EXPECT_FALSE(parsePeriodFileName(bad, ".prt")) << bad;
  }
  EXPECT_EQ(periodOfStamp(-5), 0u);
  EXPECT_EQ(periodOfStamp(stampOfPeriod(0x12345678) + kStampMinute - 1), 0x12345678u);

  TestFolder folder;
  const std::uint32_t now = periodOfStamp(kT0);
  writeFile(protocolFile(folder.root(), now), "");
  writeFile(protocolFile(folder.root(), now + 1), "");
  EXPECT_EQ(newLogPeriod(folder.root(), ".prt", kT0), now + 2);
  EXPECT_EQ(newLogPeriod(folder.root(), ".prt", kT0, now + 7), now + 8);
  EXPECT_EQ(newLogPeriod(folder.root(), ".prt", kT0, now - 7), now + 2);
  EXPECT_EQ(newLogPeriod(folder.root(), ".prt", kT0, 0xFFFFFFFFu), std::nullopt);
}

}  // namespace
}  // namespace qg
