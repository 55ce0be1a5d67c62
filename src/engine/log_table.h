// The table file both logs are stored in: a 32-bit little-endian record count
// followed by fixed-size records, nothing else. LogTable holds one such table
// in memory with its count made consistent with its bytes; the load and save
// helpers read and write whole files. A LogTable belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

// Text fields of both logs: 75 bytes, NUL-terminated, so at most 74 characters.
inline constexpr std::size_t kLogTextField = 75;
inline constexpr std::size_t kLogTextLimit = kLogTextField - 1;
inline constexpr std::size_t kLogCountBytes = 4;

class LogTable {
 public:
  // An empty table (count 0) of records of recordSize bytes (recordSize > 0).
  explicit LogTable(std::size_t recordSize);

  // The table stored in bytes. A count larger than the whole records present
  // is cut to them, and bytes behind the counted records (a torn append) are
  // dropped; fewer than 4 bytes read as an empty table. Never reads past bytes.
  static LogTable fromBytes(std::span<const std::uint8_t> bytes, std::size_t recordSize);

  std::size_t recordSize() const { return recordSize_; }
  std::size_t count() const { return (bytes_.size() - kLogCountBytes) / recordSize_; }
  // Record i (i < count()).
  std::span<const std::uint8_t> record(std::size_t i) const;
  std::span<std::uint8_t> record(std::size_t i);
  // Adds a zeroed record at the end, counts it, and returns it.
  std::span<std::uint8_t> append();
  // The stored form: count word and records.
  std::span<const std::uint8_t> bytes() const { return bytes_; }

 private:
  void storeCount();

  std::size_t recordSize_;
  std::vector<std::uint8_t> bytes_;
};

// Reads the whole table file at path into table (replacing it, same record
// size). 1 when it was read; 0 when the file does not exist or cannot be read;
// -1 when it is larger than maxBytes and was not read. Except after 1 the
// table is empty.
int loadLogTable(const std::string& path, LogTable& table, std::size_t maxBytes);

// Writes table as the whole file at path: first to tempPath beside it, then
// renamed into place, so a crash during the write leaves the previous file
// whole. True when the file at path now holds the table.
bool saveLogTable(const std::string& path, const std::string& tempPath, const LogTable& table);

// Little-endian fields and fixed text fields inside a record.
std::uint32_t loadWord(std::span<const std::uint8_t> bytes, std::size_t offset);
std::int64_t loadStamp(std::span<const std::uint8_t> bytes, std::size_t offset);
void storeWord(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void storeStamp(std::span<std::uint8_t> bytes, std::size_t offset, std::int64_t value);
// The text of a kLogTextField field: up to its first zero byte, at most
// kLogTextLimit bytes.
std::string loadText(std::span<const std::uint8_t> bytes, std::size_t offset);
// Stores text cut at its first zero byte and at kLogTextLimit bytes; the rest
// of the field is zero, so the field always ends with a terminator.
void storeText(std::span<std::uint8_t> bytes, std::size_t offset, std::string_view text);

}  // namespace qg
