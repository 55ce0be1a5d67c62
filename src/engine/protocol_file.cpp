#include "engine/protocol_file.h"

#include <algorithm>
#include <array>

#include "engine/file_primitives.h"
#include "engine/log_periods.h"
#include "engine/log_table.h"
#include "text/date_record.h"

namespace qg {
namespace {

constexpr std::size_t kTimeAt = 0;
constexpr std::size_t kTypeAt = 8;
constexpr std::size_t kFirstAt = 9;
constexpr std::size_t kSecondAt = 84;
static_assert(kSecondAt + kLogTextField == kProtocolRecordSize);

constexpr std::size_t kProtocolReadLimit = 64u << 20;

std::string protocolPath(const std::string& folder, std::uint32_t period) {
  return logFilePath(folder, periodFileName(period, kProtocolExtension));
}

// Creates the file with a count of 0 unless it exists. False when it cannot be created.
bool createEmpty(const std::string& path) {
  FileHandle file;
  if (!openExclusive(path, file)) return false;
  if (file.size() >= static_cast<std::int64_t>(kLogCountBytes)) return true;
  return file.truncate(0) && writeWord(file, 0);
}

}  // namespace

ProtocolRecord decodeProtocolRecord(std::span<const std::uint8_t, kProtocolRecordSize> bytes) {
  ProtocolRecord record;
  record.time = loadStamp(bytes, kTimeAt);
  record.type = bytes[kTypeAt];
  record.first = loadText(bytes, kFirstAt);
  record.second = loadText(bytes, kSecondAt);
  return record;
}

void encodeProtocolRecord(const ProtocolRecord& record,
                          std::span<std::uint8_t, kProtocolRecordSize> bytes) {
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
  storeStamp(bytes, kTimeAt, record.time);
  bytes[kTypeAt] = record.type;
  storeText(bytes, kFirstAt, record.first);
  storeText(bytes, kSecondAt, record.second);
}

std::vector<ProtocolRecord> decodeProtocolTable(std::span<const std::uint8_t> bytes) {
  const LogTable table = LogTable::fromBytes(bytes, kProtocolRecordSize);
  std::vector<ProtocolRecord> records;
  records.reserve(table.count());
  for (std::size_t i = 0; i < table.count(); ++i) {
    records.push_back(decodeProtocolRecord(table.record(i).first<kProtocolRecordSize>()));
  }
  return records;
}

int readProtocolFile(const std::string& path, std::vector<ProtocolRecord>& records) {
  records.clear();
  LogTable table(kProtocolRecordSize);
  const int loaded = loadLogTable(path, table, kProtocolReadLimit);
  if (loaded != 1) return loaded;
  records = decodeProtocolTable(table.bytes());
  return 1;
}

int ProtocolWriter::append(const std::string& folder, std::uint8_t type, std::string_view first,
                           std::string_view second) {
  return append(folder, type, first, second, DateRecord::now().stamp);
}

int ProtocolWriter::append(const std::string& folder, std::uint8_t type, std::string_view first,
                           std::string_view second, std::int64_t now) {
  const auto period = currentPeriod(folder, now);
  if (!period) return kProtocolLost;

  std::array<std::uint8_t, kProtocolRecordSize> bytes{};
  encodeProtocolRecord(ProtocolRecord{now, type, std::string(first), std::string(second)}, bytes);

  std::int64_t sizeBefore = 0;
  {
    FileHandle file;
    if (!openExclusive(protocolPath(folder, *period), file)) return kProtocolLost;
    sizeBefore = file.size();
    if (sizeBefore < 0) return kProtocolLost;
    // The record goes behind the last counted whole record, and the count is
    // raised only once the record is in: a crash in between, or a torn
    // record, leaves bytes that the next append overwrites, never a count
    // that runs past the records or records shifted out of their places.
    std::uint32_t count = 0;
    if (sizeBefore >= static_cast<std::int64_t>(kLogCountBytes)) {
      const auto whole =
          static_cast<std::uint64_t>(sizeBefore - kLogCountBytes) / kProtocolRecordSize;
      count = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(static_cast<std::uint32_t>(readWord(file)), whole));
    }
    const std::int64_t at =
        static_cast<std::int64_t>(kLogCountBytes) +
        static_cast<std::int64_t>(count) * static_cast<std::int64_t>(kProtocolRecordSize);
    const std::int64_t end = at + static_cast<std::int64_t>(kProtocolRecordSize);
    if (sizeBefore < static_cast<std::int64_t>(kLogCountBytes)) {
      if (!file.truncate(0) || !writeWord(file, 0)) return kProtocolLost;
    }
    if (!file.seek(at) || !writeBytes(file, bytes)) return kProtocolLost;
    if (sizeBefore > end && !file.truncate(end)) return kProtocolLost;
    if (!file.seek(0) || !writeWord(file, count + 1)) return kProtocolLost;
  }
  if (sizeBefore >= kProtocolRollBytes) rollOver(folder, *period, now);
  return kProtocolAppended;
}

std::optional<std::uint32_t> ProtocolWriter::currentPeriod(const std::string& folder,
                                                           std::int64_t now) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (period_ && folder == folder_) return period_;
  const std::vector<std::uint32_t> periods = listLogPeriods(folder, kProtocolExtension);
  const std::uint32_t period = periods.empty() ? periodOfStamp(now) : periods.front();
  // An event whose file cannot be created is lost; the next one tries again.
  if (!createEmpty(protocolPath(folder, period))) return std::nullopt;
  folder_ = folder;
  period_ = period;
  return period_;
}

void ProtocolWriter::rollOver(const std::string& folder, std::uint32_t full, std::int64_t now) {
  const std::lock_guard<std::mutex> lock(mutex_);
  // Another thread that filled the same file may have moved on already.
  if (folder != folder_ || period_ != full) return;
  const auto next = newLogPeriod(folder, kProtocolExtension, now, full);
  if (!next || !createEmpty(protocolPath(folder, *next))) return;
  period_ = *next;
}

}  // namespace qg
