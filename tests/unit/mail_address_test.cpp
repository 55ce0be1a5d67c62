#include "engine/mail_address.h"

#include <gtest/gtest.h>

#include <string>

namespace qg {
namespace {

struct AddressCase {
  std::string text;
  bool want_valid;
};

std::string repeat(char c, std::size_t n) {
  return std::string(n, c);
}

TEST(MailAddress, RuleTable) {
  const std::string domain29 = repeat('d', 25) + ".com";
  const AddressCase cases[] = {
      {"ab@example.com", true},
      {"a@example.com", false},  // one-character local part
      {"ab@localhost", true},
      {"ab@LocalHost", true},
      {"a@localhost", false},
      {"ab@l", false},  // only the whole domain may stand for localhost
      {"ab@localhost!", false},
      {"ab@" + domain29, true},
      {"ab@d" + domain29, false},  // 30 characters
      {repeat('x', 39) + "@example.com", true},
      {repeat('x', 40) + "@example.com", false},
      {"ab@examplecom", false},  // no dot
      {"ab@123.45", false},      // digits and dots only
      {"ab@1.2a", true},
      {"ab@", false},
      {"abexample.com", false},
      {"ab@ex@ample.com", false},
      {"a.b-c_d@x-y_z.org", true},
      {"ab+tag@example.com", false},
      {"ab@exa mple.com", false},
      {"\xC0\xC1@example.com", false},  // Cyrillic letters are not address characters
      {"\xA0"
       "ab@example.com",
       false},  // bytes above 0x7F are not blanks
      {" \t ab@example.com\r\n", true},
  };
  for (const AddressCase& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(isValidAddress(text), c.want_valid) << c.text;
  }
}

TEST(ValidHostName, RuleTable) {
  const std::pair<std::string, bool> cases[] = {
      {"mail.example.com", true},
      {"a.b", true},
      {"x_y-z.1a", true},
      {repeat('h', 41) + ".com", true},   // 45 characters
      {repeat('h', 42) + ".com", false},  // 46
      {"localhost", false},               // no dot
      {"192.0.2.1", false},               // digits and dots only
      {"", false},
      {"mail.exa mple.com", false},
      {"[192.0.2.1]", false},
      {"\xC0.example.com", false},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(validHostName(text), want) << text;
}

TEST(MailAddress, TrimsInPlace) {
  const struct {
    std::string text;
    std::string want;
  } cases[] = {
      {"  ab@example.com\t\r\n", "ab@example.com"},
      {"ab \t @example.com", "ab @example.com"},
      {"\x01 a\x1f\x1f b \x20", "a b"},
      {" \t\r\n", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string got = c.text;
    isValidAddress(got);
    EXPECT_EQ(got, c.want);
  }
  std::string inner = "ab @example.com";
  EXPECT_FALSE(isValidAddress(inner));
}

}  // namespace
}  // namespace qg
