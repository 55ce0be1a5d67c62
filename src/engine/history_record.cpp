#include "engine/history_record.h"

#include <algorithm>

#include "engine/log_table.h"

namespace qg {
namespace {

constexpr std::size_t kMessageDateAt = 0;
constexpr std::size_t kSizeAt = 8;
constexpr std::size_t kEventsAt = 12;
constexpr std::size_t kEventBytes = 9;
constexpr std::size_t kFirstSeenAt = 66;
constexpr std::size_t kDisplayNameAt = 74;
constexpr std::size_t kSenderAddressAt = 149;
constexpr std::size_t kRecipientAt = 224;
constexpr std::size_t kSubjectAt = 299;
static_assert(kEventsAt + kEventBytes * kHistoryEventSlots == kFirstSeenAt);
static_assert(kSubjectAt + kLogTextField == kHistoryRecordSize);

constexpr std::size_t kHistoryReadLimit = 64u << 20;

}  // namespace

std::size_t HistoryRecord::eventCount() const {
  std::size_t n = 0;
  while (n < events.size() && events[n].type != 0) ++n;
  return n;
}

HistoryRecord decodeHistoryRecord(std::span<const std::uint8_t, kHistoryRecordSize> bytes) {
  HistoryRecord record;
  record.messageDate = loadStamp(bytes, kMessageDateAt);
  record.size = loadWord(bytes, kSizeAt);
  for (std::size_t i = 0; i < kHistoryEventSlots; ++i) {
    const std::size_t at = kEventsAt + i * kEventBytes;
    record.events[i].type = bytes[at];
    record.events[i].time = loadStamp(bytes, at + 1);
  }
  record.firstSeen = loadStamp(bytes, kFirstSeenAt);
  record.displayName = loadText(bytes, kDisplayNameAt);
  record.senderAddress = loadText(bytes, kSenderAddressAt);
  record.recipient = loadText(bytes, kRecipientAt);
  record.subject = loadText(bytes, kSubjectAt);
  return record;
}

void encodeHistoryRecord(const HistoryRecord& record,
                         std::span<std::uint8_t, kHistoryRecordSize> bytes) {
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
  storeStamp(bytes, kMessageDateAt, record.messageDate);
  storeWord(bytes, kSizeAt, record.size);
  for (std::size_t i = 0; i < kHistoryEventSlots; ++i) {
    const std::size_t at = kEventsAt + i * kEventBytes;
    bytes[at] = record.events[i].type;
    storeStamp(bytes, at + 1, record.events[i].time);
  }
  storeStamp(bytes, kFirstSeenAt, record.firstSeen);
  storeText(bytes, kDisplayNameAt, record.displayName);
  storeText(bytes, kSenderAddressAt, record.senderAddress);
  storeText(bytes, kRecipientAt, record.recipient);
  storeText(bytes, kSubjectAt, record.subject);
}

std::vector<HistoryRecord> decodeHistoryTable(std::span<const std::uint8_t> bytes) {
  const LogTable table = LogTable::fromBytes(bytes, kHistoryRecordSize);
  std::vector<HistoryRecord> records;
  records.reserve(table.count());
  for (std::size_t i = 0; i < table.count(); ++i) {
    records.push_back(decodeHistoryRecord(table.record(i).first<kHistoryRecordSize>()));
  }
  return records;
}

int readHistoryFile(const std::string& path, std::vector<HistoryRecord>& records) {
  records.clear();
  LogTable table(kHistoryRecordSize);
  const int loaded = loadLogTable(path, table, kHistoryReadLimit);
  if (loaded != 1) return loaded;
  records = decodeHistoryTable(table.bytes());
  return 1;
}

}  // namespace qg
