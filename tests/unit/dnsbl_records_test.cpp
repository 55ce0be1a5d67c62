#include "engine/dnsbl_records.h"

#include <gtest/gtest.h>

#include <string>

namespace qg {
namespace {

TEST(ZoneSignature, WeightsPositionsAndPacksLengthAndFirstByte) {
  EXPECT_EQ(zoneSignature("ab"), 0x61030125u);  // 1*97 + 2*98 = 0x125, length 2 + 1, 'a'
  EXPECT_EQ(zoneSignature(""), 0x00010000u);
  // Bytes above 127 count as negative, and bit 31 never shows.
  EXPECT_EQ(zoneSignature("\xC0"), (0xFFC0u & 0xFFFF) | 0x020000u | (0x40u << 24));
  EXPECT_EQ(zoneSignature(std::string(255, 'z')) & 0x00FF0000u, 0u);  // 256 mod 256
}

TEST(DnsblRequest, RecordBytesAndRoundTrip) {
  DnsblRequest request;
  request.address = *parseIpv4("192.0.2.10");
  request.zone = "zen.spamhaus.org";
  request.codes[0] = 2;
  request.codes[1] = 255;
  const auto record = encodeDnsblRequest(request);
  const std::string bytes(record.begin(), record.end());
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x0A\x02\x00\xC0", 4));
  EXPECT_EQ(bytes.substr(4, 50), std::string(34, ' ') + "zen.spamhaus.org");
  EXPECT_EQ(bytes.substr(54, 12), "   2 255   0");
  EXPECT_EQ(bytes.size(), kDnsblRequestSize);

  const auto back = decodeDnsblRequest(record);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->address, request.address);
  EXPECT_EQ(back->zone, "zen.spamhaus.org");
  EXPECT_EQ(back->codes, request.codes);
}

// The answers come back under the signature of the zone the checker read
// from the record; the cache must look them up under the same name.
TEST(DnsblRequest, ZoneNameIsTheOneTheRecordGivesBack) {
  const std::string longZone = "  " + std::string(49, 'a') + " bl.example.org ";
  for (const std::string& zone : {std::string(" zen.example.org\t"), longZone}) {
    SCOPED_TRACE(zone);
    DnsblRequest request;
    request.zone = std::string(dnsblZoneName(zone));
    const auto back = decodeDnsblRequest(encodeDnsblRequest(request));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->zone, dnsblZoneName(zone));
  }
  EXPECT_EQ(dnsblZoneName(" zen.example.org\t"), "zen.example.org");
  EXPECT_EQ(dnsblZoneName(longZone), std::string(49, 'a'));
}

TEST(DnsblRequest, DamagedRecordsGiveNothing) {
  const auto good = encodeDnsblRequest({0x7F000002, "bl.example", {4}});
  std::string text(good.begin(), good.end());
  EXPECT_FALSE(decodeDnsblRequest(std::span<const char>(text.data(), text.size() - 1)));
  std::string badCode = text;
  badCode[60] = 'x';
  EXPECT_FALSE(decodeDnsblRequest(std::span<const char>(badCode)));
  std::string tooBig = text;
  tooBig.replace(54, 4, " 256");
  EXPECT_FALSE(decodeDnsblRequest(std::span<const char>(tooBig)));
}

TEST(DnsblResult, LittleEndianWords) {
  const auto record = encodeDnsblResult({*parseIpv4("192.0.2.10"), kDnsblListedBit | 0x61030125u});
  EXPECT_EQ(std::string(record.begin(), record.end()),
            std::string("\x0A\x02\x00\xC0\x25\x01\x03\xE1", 8));
  const auto back = decodeDnsblResult(record);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->word, 0xE1030125u);
  EXPECT_FALSE(decodeDnsblResult(std::span<const char>(record.data(), 7)));
}

TEST(DnsblQueryName, ReversesTheOctets) {
  EXPECT_EQ(dnsblQueryName(*parseIpv4("192.0.2.10"), "zen.spamhaus.org"),
            "10.2.0.192.zen.spamhaus.org");
  EXPECT_EQ(ipv4Text(0xC000020A), "192.0.2.10");
}

TEST(ParseIpv4, OnlyFourDecimalOctets) {
  for (const char* bad :
       {"", "1.2.3", "1.2.3.4.", "1.2.3.256", "1..2.3", "a.b.c.d", "1.2.3.0004"}) {
    EXPECT_FALSE(parseIpv4(bad)) << bad;
  }
  EXPECT_EQ(parseIpv4("0.0.0.0"), 0u);
  EXPECT_EQ(parseIpv4("255.255.255.255"), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace qg
