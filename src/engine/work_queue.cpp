#include "engine/work_queue.h"

#include <algorithm>
#include <array>

namespace qg {

namespace {

// Bytes moved per step when the head of a queue is removed.
constexpr std::size_t kMoveChunk = 64 * 1024;

}  // namespace

bool queueAppend(const std::string& path, std::span<const std::uint8_t> record) {
  FileHandle file;
  if (!openExclusive(path, file)) return false;
  if (file.seekEnd() < 0) return false;
  return writeBytes(file, record);
}

bool queueDropHead(FileHandle& file, std::int64_t count) {
  const std::int64_t size = file.size();
  if (size < 0) return false;
  if (count <= 0) return true;
  if (count >= size) return file.truncate(0);
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(kMoveChunk), size - count)));
  std::int64_t from = count;
  std::int64_t to = 0;
  while (from < size) {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), size - from));
    if (!file.seek(from) || file.readFull(chunk.data(), want) != static_cast<long>(want) ||
        !file.seek(to) || !file.writeAll(chunk.data(), want)) {
      file.truncate(0);
      return false;
    }
    from += static_cast<std::int64_t>(want);
    to += static_cast<std::int64_t>(want);
  }
  return file.truncate(size - count);
}

QueueTake queueTakeHead(FileHandle& file, std::span<std::uint8_t> record) {
  const std::int64_t size = file.size();
  if (size <= 0 || record.empty()) return QueueTake::Empty;
  if (!file.seek(0) || !readExact(file, record)) {
    file.truncate(0);
    return QueueTake::Damaged;
  }
  if (!queueDropHead(file, static_cast<std::int64_t>(record.size()))) return QueueTake::Damaged;
  return QueueTake::Taken;
}

QueueTake queueTakeHead(const std::string& path, std::span<std::uint8_t> record) {
  FileHandle file;
  if (!openExisting(path, file)) return QueueTake::Empty;
  return queueTakeHead(file, record);
}

bool resultsFind(const std::string& path, std::size_t recordSize,
                 const std::function<bool(std::span<const std::uint8_t>)>& match,
                 std::vector<std::uint8_t>& found) {
  if (recordSize == 0) return false;
  FileHandle file;
  if (!openExisting(path, file)) return false;
  std::vector<std::uint8_t> record(recordSize);
  while (readExact(file, record)) {
    if (match(record)) {
      found = record;
      return true;
    }
  }
  return false;
}

}  // namespace qg
