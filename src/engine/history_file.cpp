#include "engine/history_file.h"

#include <algorithm>

#include "engine/file_primitives.h"
#include "engine/history_record.h"
#include "engine/log_periods.h"
#include "text/date_record.h"

namespace qg {
namespace {

// A history file larger than this is not loaded (the writer starts a new file
// instead of rewriting it): the writer itself never lets one grow past
// kHistoryRollBytes plus one record.
constexpr std::size_t kHistoryLoadLimit = 64u << 20;

constexpr std::size_t kComponentsAboveStore = 3;

std::string historyPath(const std::string& folder, std::uint32_t period) {
  return logFilePath(folder, periodFileName(period, kHistoryExtension));
}

std::string cutText(std::string_view text) {
  return std::string(text.substr(0, std::min(text.find('\0'), kLogTextLimit)));
}

bool matches(const HistoryRecord& stored, const MessageSummary& message,
             const std::string& address) {
  if (stored.messageDate != message.messageDate) return false;
  if (stored.senderAddress != address) return false;
  const std::int64_t difference =
      static_cast<std::int64_t>(stored.size) - static_cast<std::int64_t>(message.size);
  return difference >= -static_cast<std::int64_t>(kHistorySizeSlack) &&
         difference <= static_cast<std::int64_t>(kHistorySizeSlack);
}

void fill(HistoryRecord& record, const MessageSummary& message, std::uint8_t type,
          std::int64_t now) {
  record.messageDate = message.messageDate;
  record.size = message.size;
  if (type == kHistoryHeaderStaged) {
    record.firstSeen = now;
  } else {
    if (record.firstSeen == 0) record.firstSeen = now;
    const std::size_t used = record.eventCount();
    const auto begin = record.events.begin();
    const bool known =
        std::any_of(begin, begin + static_cast<std::ptrdiff_t>(used),
                    [type](const HistoryEvent& event) { return event.type == type; });
    if (used < kHistoryEventSlots && !known) record.events[used] = HistoryEvent{type, now};
  }
  record.displayName = message.displayName;
  record.senderAddress = message.senderAddress;
  record.recipient = message.recipient;
  record.subject = message.subject;
}

}  // namespace

std::string historyFolderOf(const std::string& messagePath) {
  std::string folder = messagePath;
  for (std::size_t i = 0; i < kComponentsAboveStore; ++i) {
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    folder.resize(slash);
  }
  return folder;
}

int HistoryWriter::record(const std::string& messagePath, std::uint8_t type) {
  return record(messagePath, type, DateRecord::now().stamp);
}

int HistoryWriter::record(const std::string& messagePath, std::uint8_t type, std::int64_t now) {
  MessageSummary message;
  if (readMessageSummary(messagePath, type == kHistoryHandedToClient, message) != 1) {
    return kHistoryNoMessage;
  }
  return recordSummary(historyFolderOf(messagePath), message, type, now);
}

int HistoryWriter::recordSummary(const std::string& folder, const MessageSummary& message,
                                 std::uint8_t type, std::int64_t now) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!holdTable(folder, now)) return kHistoryWriteFailed;
  LogTable& table = *table_;

  const std::string address = cutText(message.senderAddress);
  // Newest first: the record of a message in progress is near the end.
  std::optional<std::size_t> found;
  for (std::size_t i = table.count(); i-- > 0;) {
    const auto bytes = table.record(i).first<kHistoryRecordSize>();
    if (matches(decodeHistoryRecord(bytes), message, address)) {
      found = i;
      break;
    }
  }

  HistoryRecord record;
  std::span<std::uint8_t> slot;
  if (found) {
    slot = table.record(*found);
    record = decodeHistoryRecord(slot.first<kHistoryRecordSize>());
  } else {
    slot = table.append();
  }
  fill(record, message, type, now);
  encodeHistoryRecord(record, slot.first<kHistoryRecordSize>());

  const std::string path = historyPath(folder, period_);
  if (!saveLogTable(path, logFilePath(folder, kHistoryTempName), table)) {
    // The table stays in memory and is written whole with the next event.
    return kHistoryWriteFailed;
  }
  if (!found && table.bytes().size() >= kHistoryRollBytes) startNewFile(folder, now);
  return kHistoryRecorded;
}

bool HistoryWriter::holdTable(const std::string& folder, std::int64_t now) {
  if (table_ && folder == folder_) return true;
  table_.reset();
  folder_ = folder;
  const std::vector<std::uint32_t> periods = listLogPeriods(folder, kHistoryExtension);
  std::uint32_t period = periods.empty() ? periodOfStamp(now) : periods.front();
  LogTable table(kHistoryRecordSize);
  const std::string path = historyPath(folder, period);
  if (fileExists(path) && loadLogTable(path, table, kHistoryLoadLimit) != 1) {
    // Unreadable or far too large: keep it as it is and start the next file,
    // rather than overwrite it with a table that lacks its records.
    const auto next = newLogPeriod(folder, kHistoryExtension, now, period);
    if (!next) return false;
    period = *next;
  }
  period_ = period;
  table_ = std::move(table);
  return true;
}

void HistoryWriter::startNewFile(const std::string& folder, std::int64_t now) {
  table_.reset();
  const auto next = newLogPeriod(folder, kHistoryExtension, now, period_);
  if (!next) return;
  saveLogTable(historyPath(folder, *next), logFilePath(folder, kHistoryTempName),
               LogTable(kHistoryRecordSize));
}

}  // namespace qg
