#include "engine/history_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/history_record.h"
#include "engine/log_periods.h"
#include "fixed_zone.h"
#include "test_files.h"
#include "test_folder.h"
#include "text/date_record.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

const std::int64_t kT0 = DateRecord::fromFields(2024, 3, 10, 12, 0, 0).stamp;
const std::int64_t kT1 = DateRecord::fromFields(2024, 3, 10, 12, 0, 5).stamp;
const std::int64_t kT2 = DateRecord::fromFields(2024, 3, 10, 12, 0, 9).stamp;
const std::int64_t kT3 = DateRecord::fromFields(2024, 3, 10, 12, 1, 0).stamp;

std::string stageLine(std::uint32_t size) {
  char line[64];
  std::snprintf(line, sizeof line, "%016llX %08X %04X %08X %08X\r\n", 0x1234ULL, size, 7u, 0u, 0u);
  return line;
}

const std::string kHeader =
    "From: \"Ivan Petrov\" <ivan.petrov@example.com>\r\n"
    "To: Mail User <user@example.org>\r\n"
    "Subject: Quarterly report =?windows-1251?Q?=CE=F2=F7=E5=F2?=\r\n"
    "Date: Tue, 05 Dec 2006 18:24:11 +0000\r\n"
    "\r\n";

// The store's layout: HOME/BOX_0001/TMP/<file>; the history goes to HOME.
class HistoryWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(folder_.path("BOX_0001/TMP")); }

  const std::string& home() const { return folder_.root(); }
  std::string staged(const std::string& name, const std::string& content) {
    const std::string path = folder_.path("BOX_0001/TMP/" + name);
    writeFile(path, content);
    return path;
  }
  std::string historyFile(std::uint32_t period) const {
    return logFilePath(home(), periodFileName(period, kHistoryExtension));
  }
  std::vector<HistoryRecord> records(std::uint32_t period) const {
    std::vector<HistoryRecord> out;
    EXPECT_EQ(readHistoryFile(historyFile(period), out), 1);
    return out;
  }

  FixedZone zone_{"UTC0"};
  TestFolder folder_;
  HistoryWriter writer_;
};

MessageSummary summary(std::int64_t date, std::uint32_t size, std::string address) {
  MessageSummary message;
  message.messageDate = date;
  message.size = size;
  message.senderAddress = std::move(address);
  message.displayName = "Sender";
  message.subject = "Subject";
  return message;
}

// Staged, taken and classified: one record whose bytes are exactly those of the
// golden file (texts decoded, fields at their offsets, unused bytes zero).
TEST_F(HistoryWriterTest, ThreeEventsOfOneMessageGiveTheGoldenRecord) {
  const std::string path = staged("00000001.hd", stageLine(0x4D2) + kHeader);
  EXPECT_EQ(writer_.record(path, kHistoryHeaderStaged, kT0), kHistoryRecorded);
  EXPECT_EQ(writer_.record(path, kHistoryMessageTaken, kT1), kHistoryRecorded);
  EXPECT_EQ(writer_.record(path, kHistoryClassified, kT2), kHistoryRecorded);

  const std::string want = readFile(std::string(QG_TEST_DATA_DIR) + "/log/history_one_message.hst");
  ASSERT_EQ(want.size(), 4 + kHistoryRecordSize);
  EXPECT_EQ(readFile(historyFile(periodOfStamp(kT0))), want);
  EXPECT_FALSE(fs::exists(logFilePath(home(), kHistoryTempName)));
}

// The POP3 server's event takes the file's size; it still finds the record
// the fetcher and the analysis made from the stage line's size.
TEST_F(HistoryWriterTest, FetcherAnalysisAndPop3EventsShareOneRecord) {
  const std::string body = "Body text.\r\n";
  const std::size_t total = stageLine(0).size() + kHeader.size() + body.size();
  const std::string path =
      staged("00000002.hd", stageLine(static_cast<std::uint32_t>(total)) + kHeader + body);
  for (const auto& [type, now] : {std::pair{kHistoryHeaderStaged, kT0},
                                  {kHistoryMessageTaken, kT1},
                                  {kHistoryClassified, kT2},
                                  {kHistoryHandedToClient, kT3}}) {
    ASSERT_EQ(writer_.record(path, type, now), kHistoryRecorded);
  }
  const auto got = records(periodOfStamp(kT0));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].firstSeen, kT0);
  ASSERT_EQ(got[0].eventCount(), 3u);
  EXPECT_EQ(got[0].events[0], (HistoryEvent{1, kT1}));
  EXPECT_EQ(got[0].events[1], (HistoryEvent{2, kT2}));
  EXPECT_EQ(got[0].events[2], (HistoryEvent{6, kT3}));
  EXPECT_EQ(got[0].size, total);
}

TEST_F(HistoryWriterTest, RepeatedTypeIsNotAddedAndSeventhTypeIsDropped) {
  const MessageSummary message = summary(kT0, 100, "a.b@example.com");
  std::int64_t now = kT1;
  for (const std::uint8_t type : {1, 2, 1, 3, 4, 2, 5, 6, 7}) {
    ASSERT_EQ(writer_.recordSummary(home(), message, type, now += kStampSecond), kHistoryRecorded);
  }
  const auto got = records(periodOfStamp(kT1 + kStampSecond));
  ASSERT_EQ(got.size(), 1u);
  std::vector<int> types;
  for (const HistoryEvent& event : got[0].events) types.push_back(event.type);
  EXPECT_EQ(types, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  // The first-seen time comes from the first event when no type 0 was seen.
  EXPECT_EQ(got[0].firstSeen, kT1 + kStampSecond);
  EXPECT_EQ(got[0].events[1].time, kT1 + 2 * kStampSecond);  // the repeat did not move it
}

TEST_F(HistoryWriterTest, MatchNeedsSameDateSameSenderAndSizeWithinThreeBytes) {
  struct Case {
    const char* what;
    std::int64_t date;
    std::uint32_t size;
    const char* address;
    std::size_t wantRecords;
  };
  const Case cases[] = {
      {"size + 3", kT0, 1003, "a.b@example.com", 1},
      {"size - 3", kT0, 997, "a.b@example.com", 1},
      {"size + 4", kT0, 1004, "a.b@example.com", 2},
      {"size - 4", kT0, 996, "a.b@example.com", 2},
      {"other date", kT0 + kStampSecond, 1000, "a.b@example.com", 2},
      {"other sender", kT0, 1000, "b.a@example.com", 2},
      {"sender in other case", kT0, 1000, "A.B@example.com", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestFolder folder;
    HistoryWriter writer;
    ASSERT_EQ(writer.recordSummary(folder.root(), summary(kT0, 1000, "a.b@example.com"), 1, kT1),
              kHistoryRecorded);
    ASSERT_EQ(writer.recordSummary(folder.root(), summary(c.date, c.size, c.address), 2, kT2),
              kHistoryRecorded);
    std::vector<HistoryRecord> got;
    ASSERT_EQ(
        readHistoryFile(
            logFilePath(folder.root(), periodFileName(periodOfStamp(kT1), kHistoryExtension)), got),
        1);
    EXPECT_EQ(got.size(), c.wantRecords);
    // A match takes the new size, so the next event compares with it.
    if (c.wantRecords == 1) {
      EXPECT_EQ(got[0].size, c.size);
    }
  }
}

// Builds a history file of count records (all for distinct senders).
void writeFullTable(const std::string& path, std::size_t count) {
  LogTable table(kHistoryRecordSize);
  for (std::size_t i = 0; i < count; ++i) {
    HistoryRecord record;
    record.senderAddress = "s" + std::to_string(i) + "@example.com";
    record.events[0] = HistoryEvent{1, kT0};
    encodeHistoryRecord(record, table.append().first<kHistoryRecordSize>());
  }
  writeFile(path, std::string(table.bytes().begin(), table.bytes().end()));
}

// 4,010 records are 1,499,744 bytes; the 4,011th passes 1,500,000 and starts
// the next file. With the clock behind the full file's period, the new file
// still comes after it, so the next event does not return to the full one.
TEST_F(HistoryWriterTest, FullTableStartsANewerFile) {
  struct Case {
    const char* what;
    std::int64_t now;
    std::uint32_t fullPeriod;
    std::uint32_t wantNew;
  };
  const std::uint32_t nowPeriod = periodOfStamp(kT3);
  const Case cases[] = {
      {"clock ahead", kT3, nowPeriod - 10, nowPeriod},
      {"same minute", kT3, nowPeriod, nowPeriod + 1},
      {"clock behind", kT3, nowPeriod + 10, nowPeriod + 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestFolder folder;
    HistoryWriter writer;
    const std::string full = logFilePath(folder.root(), periodFileName(c.fullPeriod, ".hst"));
    writeFullTable(full, 4010);
    ASSERT_EQ(writer.recordSummary(folder.root(), summary(kT0, 1, "new@example.com"), 1, c.now),
              kHistoryRecorded);
    std::vector<HistoryRecord> got;
    ASSERT_EQ(readHistoryFile(full, got), 1);
    EXPECT_EQ(got.size(), 4011u);
    EXPECT_EQ(listLogPeriods(folder.root(), kHistoryExtension),
              (std::vector<std::uint32_t>{c.wantNew, c.fullPeriod}));

    // The next event, even of the same message, goes to the new file.
    ASSERT_EQ(writer.recordSummary(folder.root(), summary(kT0, 1, "new@example.com"), 2, c.now),
              kHistoryRecorded);
    const std::string next = logFilePath(folder.root(), periodFileName(c.wantNew, ".hst"));
    ASSERT_EQ(readHistoryFile(next, got), 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].events[0].type, 2);
    EXPECT_EQ(fs::file_size(full), 4 + 4011 * kHistoryRecordSize);
  }
}

TEST_F(HistoryWriterTest, OnlyTheHundredNewestFilesAreKept) {
  for (std::uint32_t period = 1; period <= 101; ++period) {
    writeFullTable(historyFile(period), 0);
  }
  writeFile(folder_.path("notes.hst"), "x");
  writeFile(folder_.path("0000000Z.hst"), "x");
  writeFile(folder_.path("00000001.prt"), "x");
  ASSERT_EQ(writer_.record(staged("00000001.hd", stageLine(10) + kHeader), 1, kT0),
            kHistoryRecorded);

  EXPECT_FALSE(fs::exists(historyFile(1)));
  EXPECT_TRUE(fs::exists(historyFile(2)));
  EXPECT_EQ(records(101).size(), 1u);  // the newest file took the event
  for (const char* other : {"notes.hst", "0000000Z.hst", "00000001.prt"}) {
    EXPECT_TRUE(fs::exists(folder_.path(other))) << other;
  }
}

// A count that runs past the records (a torn write by an older program, a
// damaged disk) is read as the whole records present; the writer goes on
// from there instead of counting records that are not there.
TEST_F(HistoryWriterTest, CountPastTheRecordsKeepsTheWholeRecords) {
  const std::uint32_t period = periodOfStamp(kT0);
  writeFullTable(historyFile(period), 2);
  std::string bytes = readFile(historyFile(period));
  bytes[0] = static_cast<char>(0xE8);
  bytes[1] = 0x03;                 // count 1000
  bytes += std::string(100, 'x');  // and a torn third record
  writeFile(historyFile(period), bytes);

  ASSERT_EQ(writer_.recordSummary(home(), summary(kT0, 5, "c.d@example.com"), 1, kT0),
            kHistoryRecorded);
  const auto got = records(period);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].senderAddress, "s0@example.com");
  EXPECT_EQ(got[2].senderAddress, "c.d@example.com");
  EXPECT_EQ(fs::file_size(historyFile(period)), 4 + 3 * kHistoryRecordSize);
}

TEST_F(HistoryWriterTest, MissingMessageRecordsNothing) {
  EXPECT_EQ(writer_.record(folder_.path("BOX_0001/TMP/absent.hd"), 1, kT0), kHistoryNoMessage);
  EXPECT_TRUE(listLogPeriods(home(), kHistoryExtension).empty());
}

// Three workers at once: the writer's lock keeps every event of every message.
TEST_F(HistoryWriterTest, ConcurrentWorkersLoseNoEvent) {
  constexpr int kMessages = 40;
  std::vector<std::thread> workers;
  for (const std::uint8_t type : {1, 2, 6}) {
    workers.emplace_back([this, type] {
      for (int i = 0; i < kMessages; ++i) {
        writer_.recordSummary(home(), summary(kT0, 100, "m" + std::to_string(i) + "@example.com"),
                              type, kT1);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  const auto got = records(periodOfStamp(kT1));
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kMessages));
  for (const HistoryRecord& record : got)
    EXPECT_EQ(record.eventCount(), 3u) << record.senderAddress;
}

TEST(HistoryEntry, SplitSender) {
  struct Case {
    const char* from;
    const char* wantName;
    const char* wantAddress;
  };
  const Case cases[] = {
      {"\"Ivan Petrov\" <ivan.petrov@example.com>", "Ivan Petrov", "ivan.petrov@example.com"},
      {"Ivan <mailto:ivan@example.com>", "Ivan", "ivan@example.com"},
      {"<SMTP:ivan@example.com>", "", "ivan@example.com"},
      {"ivan@example.com (Ivan Petrov)", "Ivan Petrov", "ivan@example.com"},
      {"  ivan@example.com  ", "", "ivan@example.com"},
      {"Postmaster postmaster@localhost", "Postmaster", "postmaster@localhost"},
      {"Ivan <ivan@example.com", "Ivan", "ivan@example.com"},
      {"no address here", "no address here", ""},
      {"x@example.com", "x@example.com", ""},  // local part too short
      {"ivan@123.45", "ivan@123.45", ""},      // domain of digits only
      {"", "", ""},
  };
  for (const Case& c : cases) {
    std::string name;
    std::string address;
    splitSender(c.from, name, address);
    EXPECT_EQ(name, c.wantName) << c.from;
    EXPECT_EQ(address, c.wantAddress) << c.from;
  }
  EXPECT_EQ(addressOf("First <a.b@example.com>, Second <c.d@example.org>"), "a.b@example.com");
  EXPECT_EQ(addressOf("undisclosed-recipients:;"), "");
}

TEST(HistoryEntry, StageLineSizeAndHistoryFolder) {
  EXPECT_EQ(stageLineSize("0000000000001234 000004D2 0007 00000000 00000000\r\n"), 0x4D2u);
  EXPECT_EQ(stageLineSize("0000000000001234 FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(stageLineSize("0000000000001234 123456789"), 0x12345678u);  // 8 digits at most
  EXPECT_EQ(stageLineSize("0000000000001234"), 0u);
  EXPECT_EQ(stageLineSize("garbage zz"), 0u);

  EXPECT_EQ(historyFolderOf("/home/u/qg/BOX_0001/TMP/00000001.hd"), "/home/u/qg");
  EXPECT_EQ(historyFolderOf("/BOX_0001/IN/00000001.msg"), "/");
  EXPECT_EQ(historyFolderOf("BOX_0001/IN/00000001.msg"), ".");
}

TEST(HistoryRecordFormat, TableReaderStaysInsideTheBytes) {
  std::vector<std::uint8_t> bytes(4 + 2 * kHistoryRecordSize + 10, 0);
  struct Case {
    std::uint32_t count;
    std::size_t size;
    std::size_t wantRecords;
  };
  for (const Case& c : {Case{0xFFFFFFFF, bytes.size(), 2}, Case{1, bytes.size(), 1},
                        Case{5, 4 + kHistoryRecordSize - 1, 0}, Case{3, 3, 0}, Case{0, 0, 0}}) {
    for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(c.count >> (8 * i));
    EXPECT_EQ(decodeHistoryTable(std::span(bytes).first(c.size)).size(), c.wantRecords)
        << c.count << " " << c.size;
  }
}

}  // namespace
}  // namespace qg
