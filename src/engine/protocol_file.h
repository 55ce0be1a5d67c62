// The protocol: one 159-byte record per program event (start, end, fetch,
// delivery, classification) in the current "%08X.prt" file of a folder.
// One ProtocolWriter, owned by the engine state, serves every thread: each
// append happens inside one exclusive open of the file, and the choice of the
// current file is guarded by the writer's mutex. The read API is pure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

inline constexpr std::size_t kProtocolRecordSize = 159;
// A file of this many bytes or more takes one more record; the next goes to a new file.
inline constexpr std::int64_t kProtocolRollBytes = 5'000'000;

// Event types with a fixed meaning (the others are the callers' own).
inline constexpr std::uint8_t kProtocolProgramStart = 0;
inline constexpr std::uint8_t kProtocolAutoAnswer = 7;
inline constexpr std::uint8_t kProtocolSpam = 9;
inline constexpr std::uint8_t kProtocolNotSpam = 10;
inline constexpr std::uint8_t kProtocolLocalPop3 = 13;
inline constexpr std::uint8_t kProtocolLocalSmtp = 14;
inline constexpr std::uint8_t kProtocolProgramEnd = 19;

struct ProtocolRecord {
  std::int64_t time = 0;  // time stamp of the event
  std::uint8_t type = 0;
  std::string first;   // as a rule the sender; Windows-1251, at most 74 bytes
  std::string second;  // as a rule the subject; likewise
  bool operator==(const ProtocolRecord&) const = default;
};

ProtocolRecord decodeProtocolRecord(std::span<const std::uint8_t, kProtocolRecordSize> bytes);
// Writes all 159 bytes; texts are cut at 74 bytes and at a zero byte.
void encodeProtocolRecord(const ProtocolRecord& record,
                          std::span<std::uint8_t, kProtocolRecordSize> bytes);
// The records of a protocol file's bytes, in stored order; a count larger
// than the file holds gives the whole records present.
std::vector<ProtocolRecord> decodeProtocolTable(std::span<const std::uint8_t> bytes);
// Reads the protocol file at path. 1 when read; 0 when it does not exist or
// cannot be read; -1 when it is larger than 64 MiB. records is empty except after 1.
int readProtocolFile(const std::string& path, std::vector<ProtocolRecord>& records);

// Results of ProtocolWriter::append.
inline constexpr int kProtocolAppended = 1;
inline constexpr int kProtocolLost = -1;  // no file could be opened or written: the event is lost

class ProtocolWriter {
 public:
  ProtocolWriter() = default;
  ProtocolWriter(const ProtocolWriter&) = delete;
  ProtocolWriter& operator=(const ProtocolWriter&) = delete;

  // Appends one record (time now, type, the two texts cut to 74 characters)
  // to the current protocol file of folder, choosing and creating that file
  // on the first call. kProtocolAppended or kProtocolLost.
  int append(const std::string& folder, std::uint8_t type, std::string_view first,
             std::string_view second);
  int append(const std::string& folder, std::uint8_t type, std::string_view first,
             std::string_view second, std::int64_t now);

 private:
  std::optional<std::uint32_t> currentPeriod(const std::string& folder, std::int64_t now);
  void rollOver(const std::string& folder, std::uint32_t full, std::int64_t now);

  std::mutex mutex_;  // guards folder_ and period_
  std::string folder_;
  std::optional<std::uint32_t> period_;  // none = not chosen yet
};

}  // namespace qg
