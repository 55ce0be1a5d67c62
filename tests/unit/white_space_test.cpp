#include "text/white_space.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qg {
namespace {

using namespace std::string_literals;

TEST(DropCarriageReturns, RemovesCrAndBlanksOtherControlBytes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a\r\nb\tc\0d\x1F"s, "a\nb c d "},
      {"\r\r\r", ""},
      {"\xC0\xE0\x7F\x80", "\xC0\xE0\x7F\x80"},
      {"", ""},
  };
  for (const auto& [from, to] : cases) {
    std::string text = from;
    EXPECT_EQ(dropCarriageReturns(text), to.size());
    EXPECT_EQ(text, to);
  }
}

TEST(SqueezeSpaces, TrimsAndJoinsRunsOfBlanks) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"  a \t\r\n b  ", "a b"},
      {"Hello\n world\n", "Hello world"},
      {"\xCF\xF0\xE8\xE2\xE5\xF2 \xE2\xF1\xE5\xEC", "\xCF\xF0\xE8\xE2\xE5\xF2 \xE2\xF1\xE5\xEC"},
      {"a\0\0b"s, "a b"},
      {" \x01 ", ""},
      {"", ""},
      {"x", "x"},
  };
  for (const auto& [from, to] : cases) {
    std::string text = from;
    EXPECT_EQ(squeezeSpaces(text), to.size());
    EXPECT_EQ(text, to);
  }
  // Inside a span the squeezed text stands at the front; the rest stays.
  std::string text = " a  b ";
  EXPECT_EQ(squeezeSpacesInSpan(text), 3u);
  EXPECT_EQ(text, "a b b ");
}

}  // namespace
}  // namespace qg
