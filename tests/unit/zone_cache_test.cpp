#include "classify/zone_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/dnsbl_records.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

constexpr std::int32_t kToday = 732664;

std::string answers(const std::vector<DnsblResult>& results) {
  std::string bytes;
  for (const DnsblResult& result : results) {
    const auto record = encodeDnsblResult(result);
    bytes.append(record.begin(), record.end());
  }
  return bytes;
}

std::vector<std::uint32_t> words(const std::string& bytes) {
  std::vector<std::uint32_t> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

TEST(ZoneCache, LoadCreatesTheFileWithAHeader) {
  TestFolder folder;
  const std::uint32_t id = zoneSignature("zen.example.org");
  ZoneCache cache;
  ASSERT_TRUE(cache.load(folder.root(), "  zen.example.org ", kToday));
  EXPECT_EQ(cache.zoneId(), id);
  EXPECT_TRUE(cache.entries().empty());
  const std::string file = folder.path(zoneCacheFileName(id));
  EXPECT_EQ(words(readFile(file)), (std::vector<std::uint32_t>{id, 0, kToday}));

  // A count beyond the entries present reads as the entries present.
  std::string bytes = readFile(file);
  bytes[4] = 9;
  bytes += std::string("\x01\x00\x00\x0A\x05\x00\x00\x00\x00\x00\x00\x80", 12);
  bytes += "torn!";
  writeFile(file, bytes);
  cache.unload();
  ASSERT_TRUE(cache.load(folder.root(), id, kToday));
  ASSERT_EQ(cache.entries().size(), 1u);
  EXPECT_EQ(cache.entries()[0].address, 0x0A000001u);
  EXPECT_EQ(cache.entries()[0].day, 5);
  EXPECT_EQ(cache.entries()[0].result, kZoneCacheListed);
}

TEST(TakeBlocklistAnswers, WaitForRequestsUntilEnoughHaveCome) {
  TestFolder folder;
  const std::uint32_t zone = zoneSignature("bl.example.net");
  const std::string inp = folder.path("dnsbl.inp");
  writeFile(folder.path("dnsbl.inf"), std::string(182, ' '));
  writeFile(inp, answers({{0x0A000001u, zone | kDnsblListedBit},
                          {0x0A000002u, zone},
                          {0x0A000001u, zone},  // already answered: the first answer stays
                          {0x0B000001u, zoneSignature("other.example")}}));
  ZoneCache cache;
  EXPECT_EQ(takeBlocklistAnswers(folder.root(), 7, kToday, cache), 0);
  EXPECT_EQ(readFile(inp).size(), 32u);

  writeFile(folder.path("dnsbl.inf"), "");
  EXPECT_EQ(takeBlocklistAnswers(folder.root(), 7, kToday, cache), 1);
  EXPECT_EQ(readFile(inp), "");
  EXPECT_EQ(takeBlocklistAnswers(folder.root(), 1, kToday, cache), 0);

  EXPECT_EQ(words(readFile(folder.path(zoneCacheFileName(zone)))),
            (std::vector<std::uint32_t>{zone, 2, kToday, 0x0A000001u, kToday, kZoneCacheListed,
                                        0x0A000002u, kToday, kZoneCacheNotListed}));
  ASSERT_TRUE(cache.load(folder.root(), "bl.example.net", kToday));
  ASSERT_NE(cache.find(0x0A000001u), nullptr);
  EXPECT_EQ(cache.find(0x0A000001u)->result, kZoneCacheListed);
  EXPECT_EQ(cache.find(0x0B000001u), nullptr);
}

TEST(TakeBlocklistAnswers, AnswersStayWhenACacheCannotBeWritten) {
  TestFolder folder;
  const std::uint32_t zone = zoneSignature("bl.example.net");
  writeFile(folder.path("dnsbl.inp"), answers({{0x0A000001u, zone}}));
  std::filesystem::create_directory(folder.path(zoneCacheFileName(zone)));
  ZoneCache cache;
  EXPECT_EQ(takeBlocklistAnswers(folder.root(), 1, kToday, cache), 0);
  EXPECT_EQ(readFile(folder.path("dnsbl.inp")).size(), 8u);
}

TEST(PruneZoneCacheFile, KeepsYoungListedEntriesOnceADay) {
  TestFolder folder;
  const std::string file = folder.path("00000001.dbl");
  const auto cacheBytes = [](std::int32_t day, const std::vector<ZoneCacheEntry>& entries) {
    std::vector<std::uint32_t> w{1, static_cast<std::uint32_t>(entries.size()),
                                 static_cast<std::uint32_t>(day)};
    for (const ZoneCacheEntry& e : entries) {
      w.insert(w.end(), {e.address, static_cast<std::uint32_t>(e.day), e.result});
    }
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 4);
  };
  const std::vector<ZoneCacheEntry> entries{{1, kToday - 14, kZoneCacheListed},
                                            {2, kToday - 15, kZoneCacheListed},
                                            {3, kToday, kZoneCacheNotListed}};
  writeFile(file, cacheBytes(kToday, entries));
  ASSERT_TRUE(pruneZoneCacheFile(file, kToday));
  EXPECT_EQ(readFile(file), cacheBytes(kToday, entries));  // pruned today already

  writeFile(file, cacheBytes(kToday - 1, entries));
  ASSERT_TRUE(pruneZoneCacheFile(file, kToday));
  EXPECT_EQ(readFile(file), cacheBytes(kToday, {entries[0]}));
  EXPECT_FALSE(pruneZoneCacheFile(folder.path("missing.dbl"), kToday));
}

}  // namespace
}  // namespace qg
