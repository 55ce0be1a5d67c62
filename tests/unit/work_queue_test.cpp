#include "engine/work_queue.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <thread>

#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

using Record = std::array<std::uint8_t, 16>;

// A record that shows when it is torn: producer, sequence number, and a
// checksum byte repeated over the rest.
Record makeRecord(std::uint8_t producer, std::uint16_t sequence) {
  Record record{};
  record[0] = producer;
  record[1] = static_cast<std::uint8_t>(sequence);
  record[2] = static_cast<std::uint8_t>(sequence >> 8);
  const auto check = static_cast<std::uint8_t>(producer * 31 + sequence * 7 + 1);
  for (std::size_t i = 3; i < record.size(); ++i) record[i] = check;
  return record;
}

bool isWhole(const Record& record) {
  const std::uint16_t sequence = static_cast<std::uint16_t>(record[1] | record[2] << 8);
  return record == makeRecord(record[0], sequence);
}

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Two producers append while a consumer takes heads: every record arrives
// exactly once, whole, and in each producer's order.
TEST(WorkQueue, ConcurrentProducersAndConsumerLoseAndTearNothing) {
  TestFolder folder;
  const std::string path = folder.path("soun.inf");
  constexpr int kPerProducer = 200;
  std::atomic<int> producersDone{0};
  std::atomic<int> failedAppends{0};
  auto produce = [&](std::uint8_t producer) {
    for (int i = 0; i < kPerProducer; ++i) {
      const Record record = makeRecord(producer, static_cast<std::uint16_t>(i));
      if (!queueAppend(path, record)) ++failedAppends;
    }
    ++producersDone;
  };
  std::vector<Record> taken;
  auto consume = [&] {
    for (;;) {
      // Read before the take: an empty queue only ends the loop when both
      // producers had finished before it was looked at.
      const bool producersFinished = producersDone == 2;
      Record record{};
      const QueueTake result = queueTakeHead(path, record);
      if (result == QueueTake::Taken) {
        taken.push_back(record);
      } else if (result == QueueTake::Damaged) {
        ADD_FAILURE() << "a whole-record queue was reported damaged";
        return;
      } else if (producersFinished) {
        return;
      }
    }
  };
  std::thread first(produce, std::uint8_t{1});
  std::thread second(produce, std::uint8_t{2});
  std::thread consumer(consume);
  first.join();
  second.join();
  consumer.join();

  EXPECT_EQ(failedAppends, 0);
  EXPECT_EQ(fs::file_size(path), 0u);
  ASSERT_EQ(taken.size(), 2u * kPerProducer);
  std::array<int, 3> next{0, 0, 0};
  for (const Record& record : taken) {
    ASSERT_TRUE(isWhole(record));
    ASSERT_TRUE(record[0] == 1 || record[0] == 2);
    const int sequence = record[1] | record[2] << 8;
    ASSERT_EQ(sequence, next[record[0]]) << "producer " << int{record[0]} << " out of order";
    ++next[record[0]];
  }
}

TEST(WorkQueue, TakingTheHeadKeepsTheRestInOrder) {
  TestFolder folder;
  const std::string path = folder.path("vlde.inf");
  for (std::string_view record : {"AAAA", "BBBB", "CCCC"})
    ASSERT_TRUE(queueAppend(path, bytesOf(record)));
  std::array<std::uint8_t, 4> head{};
  ASSERT_EQ(queueTakeHead(path, head), QueueTake::Taken);
  EXPECT_EQ(std::string(head.begin(), head.end()), "AAAA");
  EXPECT_EQ(readFile(path), "BBBBCCCC");
  ASSERT_EQ(queueTakeHead(path, head), QueueTake::Taken);
  EXPECT_EQ(std::string(head.begin(), head.end()), "BBBB");
  ASSERT_EQ(queueTakeHead(path, head), QueueTake::Taken);
  EXPECT_EQ(std::string(head.begin(), head.end()), "CCCC");
  EXPECT_EQ(queueTakeHead(path, head), QueueTake::Empty);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
}

TEST(WorkQueue, HeadCutShortEmptiesTheFile) {
  TestFolder folder;
  const std::string path = folder.path("soun.inf");
  // 12 bytes of 8-byte records: one whole record, then a 4-byte remainder.
  writeFile(path, "12345678abcd");
  std::array<std::uint8_t, 8> head{};
  EXPECT_EQ(queueTakeHead(path, head), QueueTake::Taken);
  EXPECT_EQ(readFile(path), "abcd");
  EXPECT_EQ(queueTakeHead(path, head), QueueTake::Damaged);
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_EQ(queueTakeHead(path, head), QueueTake::Empty);
}

TEST(WorkQueue, MissingQueueIsEmptyAndStaysMissing) {
  TestFolder folder;
  std::array<std::uint8_t, 8> head{};
  EXPECT_EQ(queueTakeHead(folder.path("zap.inf"), head), QueueTake::Empty);
  EXPECT_FALSE(fs::exists(folder.path("zap.inf")));
  EXPECT_FALSE(queueAppend(folder.path("no/such/zap.inf"), bytesOf("x")));
}

TEST(WorkQueue, DropHeadMovesMoreThanOneChunk) {
  TestFolder folder;
  const std::string path = folder.path("big.inf");
  std::string content(200'000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13 % 251);
  writeFile(path, content);
  FileHandle file;
  ASSERT_TRUE(openExisting(path, file));
  ASSERT_TRUE(queueDropHead(file, 10));
  file.close();
  EXPECT_TRUE(readFile(path) == content.substr(10));
}

TEST(WorkQueue, ResultsFindReturnsTheFirstMatchingWholeRecord) {
  TestFolder folder;
  const std::string path = folder.path("dnsbl.inp");
  writeFile(path, "a1b2a3c");  // records of 2 bytes; "c" is a short tail
  auto startsWith = [](char c) {
    return [c](std::span<const std::uint8_t> record) { return record[0] == c; };
  };
  std::vector<std::uint8_t> found;
  ASSERT_TRUE(resultsFind(path, 2, startsWith('a'), found));
  EXPECT_EQ(std::string(found.begin(), found.end()), "a1");
  ASSERT_TRUE(resultsFind(path, 2, startsWith('b'), found));
  EXPECT_EQ(std::string(found.begin(), found.end()), "b2");
  EXPECT_FALSE(resultsFind(path, 2, startsWith('c'), found));
  EXPECT_FALSE(resultsFind(folder.path("missing.inp"), 2, startsWith('a'), found));
  EXPECT_FALSE(resultsFind(path, 0, startsWith('a'), found));
}

}  // namespace
}  // namespace qg
