#include "classify/zone_cache.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "engine/file_primitives.h"
#include "engine/log_table.h"

namespace qg {

namespace {

constexpr std::uint32_t kZoneIdMask = 0x7FFFFFFFu;

bool readAll(FileHandle& file, std::vector<std::uint8_t>& bytes) {
  const std::int64_t size = file.size();
  if (size < 0 || !file.seek(0)) return false;
  bytes.resize(static_cast<std::size_t>(size));
  return readExact(file, bytes);
}

struct CacheFile {
  std::uint32_t zoneId = 0;
  std::int32_t day = 0;
  std::vector<ZoneCacheEntry> entries;
};

// The header and the entries present (a count beyond them is ignored).
CacheFile parseCache(const std::vector<std::uint8_t>& bytes) {
  CacheFile cache;
  if (bytes.size() < kZoneCacheHeaderBytes) return cache;
  cache.zoneId = loadWord(bytes, 0);
  cache.day = static_cast<std::int32_t>(loadWord(bytes, 8));
  const std::size_t present = (bytes.size() - kZoneCacheHeaderBytes) / kZoneCacheEntryBytes;
  const std::size_t count = std::min<std::size_t>(loadWord(bytes, 4), present);
  cache.entries.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t at = kZoneCacheHeaderBytes + k * kZoneCacheEntryBytes;
    cache.entries.push_back({loadWord(bytes, at),
                             static_cast<std::int32_t>(loadWord(bytes, at + 4)),
                             loadWord(bytes, at + 8)});
  }
  return cache;
}

std::vector<std::uint8_t> formatCache(std::uint32_t zoneId, std::int32_t day,
                                      const std::vector<ZoneCacheEntry>& entries) {
  std::vector<std::uint8_t> bytes(kZoneCacheHeaderBytes + entries.size() * kZoneCacheEntryBytes);
  storeWord(bytes, 0, zoneId);
  storeWord(bytes, 4, static_cast<std::uint32_t>(entries.size()));
  storeWord(bytes, 8, static_cast<std::uint32_t>(day));
  std::size_t at = kZoneCacheHeaderBytes;
  for (const ZoneCacheEntry& entry : entries) {
    storeWord(bytes, at, entry.address);
    storeWord(bytes, at + 4, static_cast<std::uint32_t>(entry.day));
    storeWord(bytes, at + 8, entry.result);
    at += kZoneCacheEntryBytes;
  }
  return bytes;
}

// Replaces the whole content of the open file.
bool rewrite(FileHandle& file, const std::vector<std::uint8_t>& bytes) {
  return file.seek(0) && writeBytes(file, bytes) &&
         file.truncate(static_cast<std::int64_t>(bytes.size()));
}

}  // namespace

std::string zoneCacheFileName(std::uint32_t zoneId) {
  std::array<char, 16> name{};
  std::snprintf(name.data(), name.size(), "%08X.dbl", zoneId);
  return name.data();
}

bool ZoneCache::load(const std::string& programDir, std::uint32_t zoneId, std::int32_t today) {
  zoneId &= kZoneIdMask;
  if (loaded_ && zoneId_ == zoneId) return true;
  loaded_ = false;
  FileHandle file;
  if (!openExclusive(programDir + "/" + zoneCacheFileName(zoneId), file)) return false;
  if (file.size() < static_cast<std::int64_t>(kZoneCacheHeaderBytes) &&
      !rewrite(file, formatCache(zoneId, today, {}))) {
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!readAll(file, bytes)) return false;
  adopt(zoneId, bytes);
  return true;
}

bool ZoneCache::load(const std::string& programDir, std::string_view zoneName, std::int32_t today) {
  return load(programDir, zoneSignature(dnsblZoneName(zoneName)), today);
}

bool ZoneCache::peek(const std::string& programDir, std::uint32_t zoneId) {
  zoneId &= kZoneIdMask;
  if (loaded_ && zoneId_ == zoneId) return true;
  loaded_ = false;
  const std::string path = programDir + "/" + zoneCacheFileName(zoneId);
  std::vector<std::uint8_t> bytes;
  if (fileExists(path)) {
    FileHandle file;
    if (!openExisting(path, file)) {
      if (fileExists(path)) return false;
    } else if (!readAll(file, bytes)) {
      return false;
    }
  }
  adopt(zoneId, bytes);
  return true;
}

bool ZoneCache::peek(const std::string& programDir, std::string_view zoneName) {
  return peek(programDir, zoneSignature(dnsblZoneName(zoneName)));
}

void ZoneCache::adopt(std::uint32_t zoneId, const std::vector<std::uint8_t>& bytes) {
  CacheFile cache = parseCache(bytes);
  zoneId_ = zoneId;
  day_ = cache.day;
  entries_ = std::move(cache.entries);
  loaded_ = true;
}

const ZoneCacheEntry* ZoneCache::find(Ipv4Number address) const {
  if (!loaded_) return nullptr;
  const auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const ZoneCacheEntry& e) { return e.address == address; });
  return found == entries_.end() ? nullptr : &*found;
}

bool ZoneCache::insert(const ZoneCacheEntry& entry) {
  if (!loaded_ || find(entry.address) != nullptr) return false;
  entries_.push_back(entry);
  return true;
}

bool ZoneCache::save(const std::string& programDir) const {
  if (!loaded_) return false;
  FileHandle file;
  return openExclusive(programDir + "/" + zoneCacheFileName(zoneId_), file) &&
         rewrite(file, formatCache(zoneId_, day_, entries_));
}

int takeBlocklistAnswers(const std::string& programDir, int minimum, std::int32_t today,
                         ZoneCache& cache) {
  const std::string answersPath = programDir + "/" + std::string(kDnsblResultFile);
  const bool requestsWaiting = fileSize(programDir + "/" + std::string(kDnsblRequestFile)) > 0;
  const std::int64_t answerBytes = fileSize(answersPath);
  if (answerBytes <= 0) return 0;
  if (requestsWaiting && answerBytes < static_cast<std::int64_t>(minimum) *
                                           static_cast<std::int64_t>(kDnsblResultSize)) {
    return 0;
  }

  FileHandle answers;
  if (!openExclusive(answersPath, answers)) return 0;
  std::vector<std::uint8_t> bytes;
  if (!readAll(answers, bytes) || bytes.empty()) return 0;
  bool changed = false;
  for (std::size_t at = 0; at + kDnsblResultSize <= bytes.size(); at += kDnsblResultSize) {
    const auto result = decodeDnsblResult(
        std::span(reinterpret_cast<const char*>(bytes.data()) + at, kDnsblResultSize));
    if (!result) continue;
    const std::uint32_t zoneId = result->word & kZoneIdMask;
    if (cache.loaded() && cache.zoneId() != zoneId && changed) {
      if (!cache.save(programDir)) return 0;
      changed = false;
    }
    if (!cache.load(programDir, zoneId, today)) return 0;
    const std::uint32_t listed =
        (result->word & kDnsblListedBit) ? kZoneCacheListed : kZoneCacheNotListed;
    if (cache.insert({result->address, today, listed})) changed = true;
  }
  if (changed && !cache.save(programDir)) return 0;
  return answers.truncate(0) ? 1 : 0;
}

bool pruneZoneCacheFile(const std::string& path, std::int32_t today) {
  FileHandle file;
  if (!openExisting(path, file)) return false;
  std::vector<std::uint8_t> bytes;
  if (!readAll(file, bytes)) return false;
  if (bytes.size() < kZoneCacheHeaderBytes) return true;
  CacheFile cache = parseCache(bytes);
  if (cache.day == today) return true;
  std::erase_if(cache.entries, [today](const ZoneCacheEntry& entry) {
    return entry.result == kZoneCacheNotListed || today - entry.day >= kZoneCacheKeepDays;
  });
  return rewrite(file, formatCache(cache.zoneId, today, cache.entries));
}

}  // namespace qg
