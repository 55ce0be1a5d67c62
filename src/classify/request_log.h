// The request log "request.rst" of a box folder: one record per request mail
// sent, the stamp until which the request stands (8 bytes, little-endian)
// and the recipient's address with a zero byte. The request mails append to
// it; the analysis cycle prunes it. No decision reads it. The analysis thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qg {

inline constexpr std::string_view kRequestLogName = "request.rst";
inline constexpr std::string_view kRequestLogTempName = "request.tmp";
inline constexpr std::size_t kRequestStampBytes = 8;
// A record's text, its zero byte included, has at most this many bytes.
inline constexpr std::size_t kRequestTextLimit = 499;

// Appends a record for a request to address standing until holdEnd to
// folder/"request.rst". False when the log cannot be opened or written.
bool appendRequestLog(const std::string& folder, std::int64_t holdEnd, std::string_view address);

// Drops the records of folder/"request.rst" whose stamp has passed (lies
// before now): the requests that have expired. The kept records are written
// to "request.tmp" and moved over the log; bytes behind the last whole record
// stay as they are. Returns the number of records dropped (0 when there is
// no log); -1 when the log could not be rewritten (it is then unchanged).
int pruneRequestLog(const std::string& folder, std::int64_t now);

}  // namespace qg
