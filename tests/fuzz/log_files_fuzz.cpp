// Reads arbitrary bytes as a history file and as a protocol file: the record
// count must never take a reader past the bytes or make it allocate more than
// the bytes hold, and every record read must encode back to what it decodes.
// The same bytes, as a header value, go through the sender split.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "engine/history_entry.h"
#include "engine/history_record.h"
#include "engine/log_table.h"
#include "engine/protocol_file.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  const auto history = qg::decodeHistoryTable(bytes);
  check(size < 4 ? history.empty() : history.size() <= (size - 4) / qg::kHistoryRecordSize);
  for (const qg::HistoryRecord& record : history) {
    std::array<std::uint8_t, qg::kHistoryRecordSize> encoded{};
    qg::encodeHistoryRecord(record, encoded);
    check(qg::decodeHistoryRecord(encoded) == record);
    check(record.eventCount() <= qg::kHistoryEventSlots);
    check(record.subject.size() <= qg::kLogTextLimit);
  }

  const auto protocol = qg::decodeProtocolTable(bytes);
  check(size < 4 ? protocol.empty() : protocol.size() <= (size - 4) / qg::kProtocolRecordSize);
  for (const qg::ProtocolRecord& record : protocol) {
    std::array<std::uint8_t, qg::kProtocolRecordSize> encoded{};
    qg::encodeProtocolRecord(record, encoded);
    check(qg::decodeProtocolRecord(encoded) == record);
  }

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string name;
  std::string address;
  qg::splitSender(text, name, address);
  // Both parts are cut from the value: neither can be longer than it.
  check(name.size() <= size && address.size() <= size);
  qg::stageLineSize(text);
  return 0;
}
