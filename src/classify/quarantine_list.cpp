#include "classify/quarantine_list.h"

#include <algorithm>

#include "classify/verdict.h"
#include "engine/file_primitives.h"
#include "engine/mail_store.h"
#include "engine/work_queue.h"

namespace qg {

namespace {

// A file larger than this is not read whole (no quarantine comes near it).
constexpr std::int64_t kMaxListBytes = 64 << 20;

void putWord(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t wordAt(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int i = count; i-- > 0;) value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

void putText(std::vector<std::uint8_t>& out, std::string_view text, std::size_t limit) {
  text = text.substr(0, std::min(text.find('\0'), limit));
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// The zero-terminated text at bytes[at] of at most limit bytes; advances at
// behind its zero byte.
std::optional<std::string> textAt(std::span<const std::uint8_t> bytes, std::size_t& at,
                                  std::size_t limit) {
  const std::size_t end = std::min(bytes.size(), at + limit + 1);
  for (std::size_t i = at; i < end; ++i) {
    if (bytes[i] == 0) {
      std::string text(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(i));
      at = i + 1;
      return text;
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::uint8_t> encodeQuarantineRecord(const QuarantineRecord& record) {
  std::vector<std::uint8_t> out;
  putWord(out, record.key, 4);
  putWord(out, record.verdict, 4);
  putWord(out, record.size, 4);
  putWord(out, static_cast<std::uint64_t>(record.stamp), 8);
  putWord(out, static_cast<std::uint64_t>(record.sent), 8);
  out.push_back(record.flags);
  putText(out, record.from, kQuarantineTextLimit);
  putText(out, record.to, kQuarantineTextLimit);
  putText(out, record.subject, kQuarantineTextLimit);
  putText(out, record.path, kQuarantinePathLimit);
  return out;
}

std::optional<QuarantineRecord> decodeQuarantineRecord(std::span<const std::uint8_t> bytes,
                                                       std::size_t& used) {
  if (bytes.size() < kQuarantineFixedBytes) return std::nullopt;
  QuarantineRecord record;
  record.key = static_cast<std::uint32_t>(wordAt(bytes, 0, 4));
  record.verdict = static_cast<std::uint32_t>(wordAt(bytes, 4, 4));
  record.size = static_cast<std::uint32_t>(wordAt(bytes, 8, 4));
  record.stamp = static_cast<std::int64_t>(wordAt(bytes, 12, 8));
  record.sent = static_cast<std::int64_t>(wordAt(bytes, 20, 8));
  record.flags = bytes[28];
  std::size_t at = kQuarantineFixedBytes;
  for (auto [text, limit] :
       {std::pair{&record.from, kQuarantineTextLimit}, std::pair{&record.to, kQuarantineTextLimit},
        std::pair{&record.subject, kQuarantineTextLimit},
        std::pair{&record.path, kQuarantinePathLimit}}) {
    std::optional<std::string> value = textAt(bytes, at, limit);
    if (!value) return std::nullopt;
    *text = std::move(*value);
  }
  used = at;
  return record;
}

bool appendQuarantineRecord(const std::string& programDir, const QuarantineRecord& record) {
  return queueAppend(programDir + "/" + std::string(kQuarantineListName),
                     encodeQuarantineRecord(record));
}

std::string quarantinedPath(const std::string& storeDir, std::uint32_t key) {
  return slotFilePath(boxDirectory(storeDir, static_cast<int>(key >> 16)),
                      static_cast<int>(key & 0xFFFF), SlotState::Quarantined);
}

int releaseQuarantined(const std::string& programDir, const std::string& storeDir,
                       const ReleaseRecord& release) {
  FileHandle file;
  if (!openExisting(programDir + "/" + std::string(kQuarantineListName), file)) return 0;
  const std::int64_t size = file.size();
  if (size <= 0 || size > kMaxListBytes) return 0;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!file.seek(0) || !readExact(file, bytes)) return 0;

  struct Entry {
    QuarantineRecord record;
    std::span<const std::uint8_t> bytes;
  };
  std::vector<Entry> entries;
  std::span<const std::uint8_t> rest(bytes);
  std::size_t used = 0;
  while (std::optional<QuarantineRecord> record = decodeQuarantineRecord(rest, used)) {
    entries.push_back({std::move(*record), rest.first(used)});
    rest = rest.subspan(used);
  }
  if (std::none_of(entries.begin(), entries.end(), [](const Entry& entry) {
        return (entry.record.flags & kQuarantineRelease) != 0;
      })) {
    return 0;
  }

  std::vector<std::uint8_t> kept;
  int released = 0;
  for (Entry& entry : entries) {
    const std::string path = quarantinedPath(storeDir, entry.record.key);
    if (!fileExists(path)) continue;
    if ((entry.record.flags & kQuarantineRelease) != 0) {
      entry.record.verdict &= ~verdict::kQuarantine;
      if (release(entry.record, path) == ReleaseOutcome::Released) {
        ++released;
        continue;
      }
    }
    kept.insert(kept.end(), entry.bytes.begin(), entry.bytes.end());
  }
  // Bytes that do not read as a record are not the pass's to judge.
  kept.insert(kept.end(), rest.begin(), rest.end());
  if (!file.seek(0) || !writeBytes(file, kept) ||
      !file.truncate(static_cast<std::int64_t>(kept.size()))) {
    return -1;
  }
  return released;
}

}  // namespace qg
