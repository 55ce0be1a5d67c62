#include "classify/received_hop.h"

#include <gtest/gtest.h>

#include <string>

#include "text/date_record.h"

namespace qg {
namespace {

std::int64_t utc(int year, int month, int day, int hour, int minute, int second) {
  return DateRecord::fromFields(year, month, day, hour, minute, second).stamp;
}

TEST(ReadReceivedLine, NamesCommentAddressAndStamp) {
  const auto hop = readReceivedLine(
      "FROM HOSTA (HOSTB [10.0.0.1]) BY RELAY WITH SMTP ID 1; TUE, 5 DEC 2006 18:24:11 +0300");
  ASSERT_TRUE(hop);
  EXPECT_EQ(hop->marks, hop_mark::kValid);
  EXPECT_EQ(hop->fromName, "HOSTA");
  EXPECT_EQ(hop->fromComment, "HOSTB");
  EXPECT_EQ(hop->fromAddress, 0x0A000001u);
  EXPECT_EQ(hop->byName, "RELAY");
  EXPECT_EQ(hop->byAddress, kNoHopAddress);
  EXPECT_EQ(hop->stamp, utc(2006, 12, 5, 15, 24, 11));
}

TEST(ReadReceivedLine, TokenReaderCases) {
  struct Case {
    std::string line;
    std::string fromName, fromComment;
    Ipv4Number fromAddress;
    std::string byName, byComment, forAddress;
  };
  const Case cases[] = {
      // Two words in parentheses: the last is the comment.
      {"FROM A.EXAMPLE (HELO B.EXAMPLE) BY MX", "A.EXAMPLE", "B.EXAMPLE", kNoHopAddress, "MX", "",
       ""},
      // The bracket ends the reading: nothing behind it is taken.
      {"FROM [192.0.2.7] (HELO=X) BY MX.TEST (POSTFIX) WITH ESMTP", "", "", 0xC0000207u, "MX.TEST",
       "POSTFIX", ""},
      // An IPv6 literal is no IPv4 address.
      {"FROM H ([IPV6:2001:DB8::1]) BY MX", "H", "", kNoHopAddress, "MX", "", ""},
      {"FROM H BY MX ID 42 FOR <USER@EXAMPLE.TEST>; X", "H", "", kNoHopAddress, "MX", "",
       "USER@EXAMPLE.TEST"},
      {"FROM H BY MX FOR USER@EXAMPLE.TEST, OTHER", "H", "", kNoHopAddress, "MX", "",
       "USER@EXAMPLE.TEST"},
      // Fields are cut to their buffers.
      {"FROM " + std::string(80, 'N') + " BY MX", std::string(69, 'N'), "", kNoHopAddress, "MX", "",
       ""},
  };
  for (const Case& c : cases) {
    const auto hop = readReceivedLine(c.line);
    ASSERT_TRUE(hop) << c.line;
    EXPECT_EQ(hop->fromName, c.fromName) << c.line;
    EXPECT_EQ(hop->fromComment, c.fromComment) << c.line;
    EXPECT_EQ(hop->fromAddress, c.fromAddress) << c.line;
    EXPECT_EQ(hop->byName, c.byName) << c.line;
    EXPECT_EQ(hop->byComment, c.byComment) << c.line;
    EXPECT_EQ(hop->forAddress, c.forAddress) << c.line;
  }
}

TEST(ReadReceivedLine, NotAHopWithoutFromAndBy) {
  for (const char* line :
       {"BY MX.EXAMPLE WITH SMTP ID 1; TUE, 5 DEC 2006 18:24:11 +0300",
        "(QMAIL 1234 INVOKED FROM NETWORK); 5 DEC 2006 18:24:11 -0000", "BY MX FROM HOST", ""}) {
    EXPECT_FALSE(readReceivedLine(line)) << line;
  }
}

TEST(ReadHopTime, ZonesAndInvalidParts) {
  const std::pair<std::string, std::int64_t> cases[] = {
      {"; 15 DEC 2006 18:24:11 -0530", utc(2006, 12, 15, 23, 54, 11)},
      {"; TUE, 5 DEC 2006 18:24:11", utc(2006, 12, 5, 18, 24, 11)},
      {"; THU, 1 JAN 2004 01:00:00 +0200", utc(2003, 12, 31, 23, 0, 0)},
      {"; MON, 32 DEC 2006 18:24:11 +0000", 0},
      {"; MON, 5 DEX 2006 18:24:11 +0000", 0},
      {"; MON, 5 DEC 1899 18:24:11 +0000", 0},
      {"; MON, 5 DEC 2501 18:24:11 +0000", 0},
      {"; MON, 5 DEC 06 18:24:11 +0000", 0},
      {"; MON, 5 DEC 2006", 0},
      {"18:24:11 +0000", 0},  // no room for a date before the time
  };
  for (const auto& [line, want] : cases) EXPECT_EQ(readHopTime(line), want) << line;
}

}  // namespace
}  // namespace qg
