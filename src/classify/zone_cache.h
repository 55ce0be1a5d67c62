// The blocklist answer cache: one file "%08X.dbl" per zone in the program
// directory, named by the zone's ZoneSignature, holding the answers the DNSBL
// checker gave for hop addresses. The analysis worker moves the checker's
// answers from "dnsbl.inp" into the caches, loads the cache of the zone a
// blocklist rule asks about, and prunes old entries once a day. The analysis
// thread owns the ZoneCache object; the files are shared with the checker
// and each is held with openExclusive for one short step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dnsbl_records.h"

namespace qg {

// File layout: zone id, entry count and day (32-bit little-endian words),
// then entries of address, day and result.
inline constexpr std::size_t kZoneCacheHeaderBytes = 12;
inline constexpr std::size_t kZoneCacheEntryBytes = 12;
// Result of an entry.
inline constexpr std::uint32_t kZoneCacheListed = 0x80000000u;
inline constexpr std::uint32_t kZoneCacheNotListed = 0;
// Pruning keeps listed entries younger than this many days.
inline constexpr std::int32_t kZoneCacheKeepDays = 15;

struct ZoneCacheEntry {
  Ipv4Number address = 0;
  std::int32_t day = 0;  // day number when the answer came
  std::uint32_t result = kZoneCacheNotListed;
};

// "%08X.dbl" for a zone id.
std::string zoneCacheFileName(std::uint32_t zoneId);

class ZoneCache {
 public:
  // Makes the cache of zoneId (bit 31 ignored) the loaded one: nothing to do
  // when it already is; otherwise programDir/"%08X.dbl" is opened (created
  // when missing), given a header (id, count 0, today) when shorter than
  // one, and read. A count larger than the entries the file holds reads as
  // the entries present. False, with nothing loaded, when the file cannot be
  // opened or read.
  bool load(const std::string& programDir, std::uint32_t zoneId, std::int32_t today);
  // The same for a zone name (trimmed of blanks, then its ZoneSignature).
  bool load(const std::string& programDir, std::string_view zoneName, std::int32_t today);
  // Like load, but never creates or changes the file (for looking at the
  // caches from outside the analysis worker): a missing file, or one shorter
  // than a header, gives an empty cache. False, with nothing loaded, when the
  // file exists but cannot be read.
  bool peek(const std::string& programDir, std::uint32_t zoneId);
  bool peek(const std::string& programDir, std::string_view zoneName);
  // Forgets the loaded cache, so the next load reads its file again.
  void unload() { loaded_ = false; }

  bool loaded() const { return loaded_; }
  std::uint32_t zoneId() const { return zoneId_; }
  const std::vector<ZoneCacheEntry>& entries() const { return entries_; }
  // The entry of address, or nullptr.
  const ZoneCacheEntry* find(Ipv4Number address) const;

  // Appends an entry, in memory, for an address the cache does not hold
  // yet. False when it holds the address (nothing changes) or nothing is loaded.
  bool insert(const ZoneCacheEntry& entry);
  // Writes the whole loaded cache to its file. False when nothing is loaded
  // or the write fails.
  bool save(const std::string& programDir) const;

 private:
  // Makes the cache file's bytes the loaded cache of zoneId.
  void adopt(std::uint32_t zoneId, const std::vector<std::uint8_t>& bytes);

  bool loaded_ = false;
  std::uint32_t zoneId_ = 0;
  std::int32_t day_ = 0;
  std::vector<ZoneCacheEntry> entries_;
};

// Moves the DNSBL checker's answers from programDir/"dnsbl.inp" into the
// zone caches. Nothing happens (0) when "dnsbl.inp" is empty, or when
// "dnsbl.inf" still holds requests and fewer than minimum answers have come.
// Otherwise every answer whose address its zone's cache does not hold yet is
// added with today's day (listed when bit 31 of its zone word is set),
// "dnsbl.inp" is cut to length 0 (held open meanwhile, so no answer the
// checker appends is lost) and the result is 1. cache ends with the last
// answer's zone loaded. A torn record at the end is dropped. When a cache
// file cannot be read or written the answers stay in "dnsbl.inp" for a later
// call, and the result is 0.
int takeBlocklistAnswers(const std::string& programDir, int minimum, std::int32_t today,
                         ZoneCache& cache);

// Prunes one cache file once a day: unless its day field is today, keeps
// only listed entries less than kZoneCacheKeepDays days old, sets the day
// to today and cuts the file behind them. False when the file cannot be
// opened or written.
bool pruneZoneCacheFile(const std::string& path, std::int32_t today);

}  // namespace qg
