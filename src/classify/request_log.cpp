#include "classify/request_log.h"

#include <span>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/log_table.h"
#include "engine/work_queue.h"

namespace qg {

namespace {

// A log larger than this is left alone (no box sends that many requests).
constexpr std::int64_t kMaxLogBytes = 64 << 20;

// The length of the record at the start of bytes, or 0 when they end inside
// it or its text has no zero byte within kRequestTextLimit.
std::size_t recordLength(std::span<const std::uint8_t> bytes) {
  if (bytes.size() <= kRequestStampBytes) return 0;
  const std::size_t end = std::min(bytes.size(), kRequestStampBytes + kRequestTextLimit);
  for (std::size_t i = kRequestStampBytes; i < end; ++i) {
    if (bytes[i] == 0) return i + 1;
  }
  return 0;
}

}  // namespace

bool appendRequestLog(const std::string& folder, std::int64_t holdEnd, std::string_view address) {
  std::vector<std::uint8_t> record(kRequestStampBytes);
  storeStamp(record, 0, holdEnd);
  record.insert(record.end(), address.begin(), address.end());
  record.push_back(0);
  return queueAppend(folder + "/" + std::string(kRequestLogName), record);
}

int pruneRequestLog(const std::string& folder, std::int64_t now) {
  const std::string path = folder + "/" + std::string(kRequestLogName);
  FileHandle log;
  if (!openExisting(path, log)) return 0;
  const std::int64_t size = log.size();
  if (size <= 0 || size > kMaxLogBytes) return 0;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!log.seek(0) || !readExact(log, bytes)) return -1;

  std::vector<std::uint8_t> kept;
  int dropped = 0;
  std::span<const std::uint8_t> rest(bytes);
  while (const std::size_t length = recordLength(rest)) {
    const std::span<const std::uint8_t> record = rest.first(length);
    if (loadStamp(record, 0) < now) {
      ++dropped;
    } else {
      kept.insert(kept.end(), record.begin(), record.end());
    }
    rest = rest.subspan(length);
  }
  if (dropped == 0) return 0;
  kept.insert(kept.end(), rest.begin(), rest.end());

  const std::string temp = folder + "/" + std::string(kRequestLogTempName);
  {
    FileHandle out;
    if (!openExclusive(temp, out) || !out.truncate(0) || !writeBytes(out, kept)) {
      out.close();
      deleteFileRetry(temp);
      return -1;
    }
  }
  // The old log stays locked until the new one is in place: a writer that
  // waits for it opens the name again and appends to the new log.
  if (!moveReplace(temp, path)) return -1;
  return dropped;
}

}  // namespace qg
