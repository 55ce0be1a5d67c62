// The quarantine list "zap.inf" in the program directory: one record per
// quarantined message (its key, verdict, sizes, dates, From, To, Subject and
// staging path), appended by the analysis worker and marked for release by
// the quarantine window, and the release pass that hands the marked ones
// back to the analysis. The analysis thread; the window meets the file
// through its exclusive open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

inline constexpr std::string_view kQuarantineListName = "zap.inf";
// Bytes of a record before its texts: key, verdict, size (32-bit), stamp,
// sent (64-bit), flags (one byte), all little-endian.
inline constexpr std::size_t kQuarantineFixedBytes = 29;
// From, To and Subject are cut to this many bytes; the path to kQuarantinePathLimit.
inline constexpr std::size_t kQuarantineTextLimit = 295;
inline constexpr std::size_t kQuarantinePathLimit = 511;
// Flag byte: the staging file holds only the header; the window asks for release.
inline constexpr std::uint8_t kQuarantineHeaderOnly = 0x90;
inline constexpr std::uint8_t kQuarantineRelease = 0x02;

struct QuarantineRecord {
  std::uint32_t key = 0;      // message key: (box << 16) + slot number
  std::uint32_t verdict = 0;  // the verdict word that quarantined it
  std::uint32_t size = 0;     // the record line's size field
  std::int64_t stamp = 0;     // the record line's stamp (time of receipt)
  std::int64_t sent = 0;      // the Date value as a time stamp, 0 when unreadable
  std::uint8_t flags = 0;
  std::string from;
  std::string to;
  std::string subject;
  std::string path;  // the staging file after its rename to ".hdz"
  bool operator==(const QuarantineRecord&) const = default;
};

// The record's bytes; each text is cut at its first zero byte and its limit.
std::vector<std::uint8_t> encodeQuarantineRecord(const QuarantineRecord& record);

// The record at the start of bytes; used is set to its length. nullopt when
// bytes end inside it or a text runs past its limit without a zero byte.
std::optional<QuarantineRecord> decodeQuarantineRecord(std::span<const std::uint8_t> bytes,
                                                       std::size_t& used);

// Appends record to programDir/"zap.inf". False when the file cannot be
// opened or written.
bool appendQuarantineRecord(const std::string& programDir, const QuarantineRecord& record);

// What the release pass does with a marked record.
enum class ReleaseOutcome {
  Released,  // applied: the record leaves the list
  Kept,      // not now (its box or file cannot be taken up): it stays as it is
};
// Takes a marked record with its verdict's quarantine bit (0x40) cleared and
// the path of its staging file.
using ReleaseRecord =
    std::function<ReleaseOutcome(const QuarantineRecord& record, const std::string& stagingPath)>;

// The release pass over programDir/"zap.inf", held open throughout so that
// the window's writes wait for it. Nothing happens unless some record has
// the release bit. Otherwise every record whose staging file (the key's
// ".hdz" slot in storeDir; the stored path is not trusted) is gone is
// dropped, every record with the release bit goes to release, and the others
// stay as they were, bytes unchanged; a damaged tail is kept as it stands.
// Returns the number of records released; -1 when the file could not be
// rewritten.
int releaseQuarantined(const std::string& programDir, const std::string& storeDir,
                       const ReleaseRecord& release);

// The ".hdz" staging path of a message key in storeDir.
std::string quarantinedPath(const std::string& storeDir, std::uint32_t key);

}  // namespace qg
