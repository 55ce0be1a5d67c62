#include "classify/request_code.h"

#include <gtest/gtest.h>

#include <string>

#include "text/date_record.h"

namespace qg {
namespace {

constexpr std::int64_t kNow = 2006 * kStampYear + 11 * kStampMonth + 4 * kStampDay;

TEST(RequestCode, ChecksumTakesBytesAsSigned) {
  EXPECT_EQ(addressChecksum(""), 0u);
  EXPECT_EQ(addressChecksum("A"), (65u ^ 0xA25Au) & 0xFFFFF);
  // 0xC0 is -64: the product and the XOR are taken on its 32-bit form.
  EXPECT_EQ(addressChecksum("\xC0"), (0xFFFFFFC0u ^ 0xA25Au) & 0xFFFFF);
  EXPECT_EQ(addressChecksum("AB"), (((65u ^ 0xA25A) + ((2 * 66u) ^ 0xA25A)) & 0xFFFFF));
}

TEST(RequestCode, WrittenCodeReadsBack) {
  const std::string code = requestCode(kNow, "ANN@EXAMPLE.ORG");
  ASSERT_EQ(code.size(), kRequestCodeLength);
  EXPECT_EQ(code.substr(0, 3), "00E");
  const auto read = findRequestCode("RE: " + code);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->stamp, kNow);
  EXPECT_EQ(read->check, addressChecksum("ANN@EXAMPLE.ORG"));
}

TEST(RequestCode, HostileSubjects) {
  const std::string code = requestCode(kNow, "ANN@EXAMPLE.ORG");
  const struct {
    std::string subject;
    bool found;
  } cases[] = {
      {"", false},
      {"00E", false},
      {code.substr(0, 20), false},  // one digit short
      {code, true},                 // exactly the code
      {code.substr(0, 10) + "G" + code.substr(11), false},
      {code.substr(0, 20) + "\xC1", false},               // a high byte where a digit belongs
      {std::string(code.substr(0, 16)) + "abcde", true},  // either letter case
      {std::string(179, 'x') + code, true},               // "00E" begins at 179
      {std::string(197, 'x') + code, true},               // the lead ends at character 200
      {std::string(198, 'x') + code, false},              // the lead runs past 200
      {"100EUR offer " + code, false},                    // only the first "00E" is read
      {std::string("00E\0", 4) + code.substr(4), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(findRequestCode(c.subject).has_value(), c.found)
        << c.subject.size() << " " << c.subject;
  }
}

TEST(RequestCode, AgeLimits) {
  DateRecord threeDays = DateRecord::fromStamp(kNow);
  threeDays.addDays(-3);
  const struct {
    std::int64_t stamp;
    bool inTime;
  } cases[] = {
      {kNow, true},
      {threeDays.stamp, true},
      {threeDays.stamp - 1, false},
      {kNow + kStampMillisecond, false},
      {kNow + 1, false},
      // 31 February is no date: turned into a date and back it changes.
      {2006 * kStampYear + 1 * kStampMonth + 30 * kStampDay, false},
      {-kStampDay, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(requestCodeInTime(c.stamp, kNow), c.inTime) << c.stamp;
  }
  // Across a month end the limit counts real days: 1 March minus 3 days is 26 February.
  const std::int64_t march1 = 2006 * kStampYear + 2 * kStampMonth;
  EXPECT_TRUE(requestCodeInTime(2006 * kStampYear + 1 * kStampMonth + 25 * kStampDay, march1));
  EXPECT_FALSE(requestCodeInTime(2006 * kStampYear + 1 * kStampMonth + 24 * kStampDay, march1));
}

}  // namespace
}  // namespace qg
