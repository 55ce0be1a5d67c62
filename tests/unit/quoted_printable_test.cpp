#include "text/quoted_printable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qg {
namespace {

using namespace std::string_literals;

TEST(DecodeQuotedPrintable, DecodesInPlaceAndKeepsTheLength) {
  struct Case {
    std::string text;
    std::size_t written;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"a=3Db", 3, "a=b  "},
      {"=cf=F0", 2, "\xCF\xF0    "},
      {"soft=\nbreak", 9, "softbreak  "},  // joined without a space
      {"a=\n", 1, "a  "},
      {"=4", 2, "=4"},  // too short for an escape
      {"=G1 =", 5, "=G1 ="},
      {"x=00y", 3, "x y  "},  // a zero byte is never written
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(decodeQuotedPrintable(text), c.written) << c.text;
    EXPECT_EQ(text, c.after) << c.text;
  }
}

}  // namespace
}  // namespace qg
