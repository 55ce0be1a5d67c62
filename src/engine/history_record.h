// The history record (374 bytes) of the "%08X.hst" files: one per message,
// with its dates, size, up to six events and four texts. Encoding, decoding
// and the read API that the history window and `qgctl history dump` use.
// Pure functions over caller-owned data; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qg {

inline constexpr std::size_t kHistoryRecordSize = 374;
inline constexpr std::size_t kHistoryEventSlots = 6;

// Event types; type 0 is never stored as an event: it sets the first-seen time.
inline constexpr std::uint8_t kHistoryHeaderStaged = 0;
inline constexpr std::uint8_t kHistoryMessageTaken = 1;
inline constexpr std::uint8_t kHistoryClassified = 2;
inline constexpr std::uint8_t kHistoryRequestSent = 3;
inline constexpr std::uint8_t kHistoryFetcherEvent = 5;
inline constexpr std::uint8_t kHistoryHandedToClient = 6;

struct HistoryEvent {
  std::uint8_t type = 0;  // 0 = empty slot
  std::int64_t time = 0;  // time stamp
  bool operator==(const HistoryEvent&) const = default;
};

struct HistoryRecord {
  std::int64_t messageDate = 0;  // the Date header as a time stamp, 0 when none
  std::uint32_t size = 0;        // message size in bytes
  std::array<HistoryEvent, kHistoryEventSlots> events{};
  std::int64_t firstSeen = 0;  // when the message was first recorded
  std::string displayName;     // the texts are Windows-1251, at most 74 bytes each
  std::string senderAddress;
  std::string recipient;
  std::string subject;

  // Slots in use: those before the first empty one.
  std::size_t eventCount() const;
  bool operator==(const HistoryRecord&) const = default;
};

// Reads the fields of one stored record. Texts end at their first zero byte
// and are at most 74 bytes long. All six slots are given as stored.
HistoryRecord decodeHistoryRecord(std::span<const std::uint8_t, kHistoryRecordSize> bytes);
// Writes all 374 bytes of a record; texts are cut at 74 bytes and at a zero
// byte, unused bytes are 0.
void encodeHistoryRecord(const HistoryRecord& record,
                         std::span<std::uint8_t, kHistoryRecordSize> bytes);

// The records of a history file's bytes, in stored order. A count larger
// than the file holds gives the whole records present; a file shorter than
// its count word gives none.
std::vector<HistoryRecord> decodeHistoryTable(std::span<const std::uint8_t> bytes);

// Reads the history file at path into records. 1 when read; 0 when it does
// not exist or cannot be read; -1 when it is too large to be a history file
// (more than 64 MiB). records is empty except after 1.
int readHistoryFile(const std::string& path, std::vector<HistoryRecord>& records);

}  // namespace qg
