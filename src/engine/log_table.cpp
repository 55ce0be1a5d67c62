#include "engine/log_table.h"

#include <algorithm>

#include "engine/file_primitives.h"

namespace qg {

LogTable::LogTable(std::size_t recordSize)
    : recordSize_(recordSize == 0 ? 1 : recordSize), bytes_(kLogCountBytes, 0) {}

LogTable LogTable::fromBytes(std::span<const std::uint8_t> bytes, std::size_t recordSize) {
  LogTable table(recordSize);
  if (bytes.size() < kLogCountBytes) return table;
  const std::size_t present = (bytes.size() - kLogCountBytes) / table.recordSize_;
  const std::size_t count = std::min<std::size_t>(loadWord(bytes, 0), present);
  table.bytes_.assign(
      bytes.begin(),
      bytes.begin() + static_cast<std::ptrdiff_t>(kLogCountBytes + count * table.recordSize_));
  table.storeCount();
  return table;
}

std::span<const std::uint8_t> LogTable::record(std::size_t i) const {
  return std::span<const std::uint8_t>(bytes_).subspan(kLogCountBytes + i * recordSize_,
                                                       recordSize_);
}

std::span<std::uint8_t> LogTable::record(std::size_t i) {
  return std::span<std::uint8_t>(bytes_).subspan(kLogCountBytes + i * recordSize_, recordSize_);
}

std::span<std::uint8_t> LogTable::append() {
  bytes_.resize(bytes_.size() + recordSize_, 0);
  storeCount();
  return record(count() - 1);
}

void LogTable::storeCount() {
  storeWord(bytes_, 0, static_cast<std::uint32_t>(count()));
}

int loadLogTable(const std::string& path, LogTable& table, std::size_t maxBytes) {
  table = LogTable(table.recordSize());
  FileHandle file;
  if (!openExisting(path, file)) return 0;
  const std::int64_t size = file.size();
  if (size < 0) return 0;
  if (static_cast<std::uint64_t>(size) > maxBytes) return -1;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  // A file that shrinks meanwhile is read as far as it goes.
  const long got = file.readFull(bytes.data(), bytes.size());
  if (got < 0) return 0;
  bytes.resize(static_cast<std::size_t>(got));
  table = LogTable::fromBytes(bytes, table.recordSize());
  return 1;
}

bool saveLogTable(const std::string& path, const std::string& tempPath, const LogTable& table) {
  {
    FileHandle file;
    if (!openExclusive(tempPath, file)) return false;
    // The data reach the disk before the rename makes them the table, so even a
    // power loss leaves either the old table or the new one.
    if (!file.truncate(0) || !writeBytes(file, table.bytes()) || !file.sync()) {
      file.close();
      deleteFileRetry(tempPath);
      return false;
    }
  }
  return moveReplace(tempPath, path);
}

std::uint32_t loadWord(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
  return value;
}

std::int64_t loadStamp(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 8; ++i)
    value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
  return static_cast<std::int64_t>(value);
}

void storeWord(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i)
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void storeStamp(std::span<std::uint8_t> bytes, std::size_t offset, std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  for (std::size_t i = 0; i < 8; ++i)
    bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::string loadText(std::span<const std::uint8_t> bytes, std::size_t offset) {
  const auto field = bytes.subspan(offset, kLogTextLimit);
  const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
  return std::string(field.begin(), end);
}

void storeText(std::span<std::uint8_t> bytes, std::size_t offset, std::string_view text) {
  text = text.substr(0, std::min(text.find('\0'), kLogTextLimit));
  const auto field = bytes.subspan(offset, kLogTextField);
  std::fill(field.begin(), field.end(), std::uint8_t{0});
  std::copy(text.begin(), text.end(), field.begin());
}

}  // namespace qg
