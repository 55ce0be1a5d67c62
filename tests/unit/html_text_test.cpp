#include "classify/html_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qg {
namespace {

using namespace std::string_literals;

TEST(StripHtml, WritesTextAndEntitiesToTheFront) {
  struct Case {
    std::string html;
    std::string front;  // what stands before the spaces
  };
  const std::vector<Case> cases = {
      {"<b>bold</b> text", "bold text"},
      {"&lt;&gt;&amp;&quot;", "<>&\""},
      {"a&nbsp;b", "a b"},
      {"&LT;x", " x"},     // entity names are lower case only
      {"a & b", "a   b"},  // a bare "&" gives one space
      {"&#1040;&#x410;&#X430;", "\x01\xC0\x01\xC0\x01\xE0"},
      {"&#65;",
       "\x01"
       "A"},
      {"&#0;&#99999999999;", "\x01 \x01 "},  // never a zero byte, never an overflow
      {"&#12x", "12x"},                      // no ";": the digits stay text
      {"&#;", ";"},
      {"<style>a{}</style>x<STYLE>b</Style>y", "xy"},
      {"</style>z", "z"},  // a stray end tag does not go below zero
      {"a > b", "a  b"},
      {"<a href=\"x\">link<", "link"},
  };
  for (const Case& c : cases) {
    std::string text = c.html;
    const std::size_t written = stripHtml(text);
    EXPECT_EQ(text.size(), c.html.size()) << c.html;
    EXPECT_EQ(text.substr(0, written), c.front) << c.html;
    EXPECT_EQ(text.find_first_not_of(' ', written), std::string::npos) << c.html;
  }
}

TEST(StripEmbeddedHtml, StripsEachStretchAndLeavesTheRest) {
  struct Case {
    std::string text;
    int stretches;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"a <HTML><b>x</b></HTML> b", 1, std::string("a x") + std::string(20, ' ') + " b"},
      {"<html>1</html>-<HTML>2</HTML>", 2,
       std::string("1") + std::string(13, ' ') + "-2" + std::string(13, ' ')},
      {"</HTML> <HTML>", 0, "</HTML> <HTML>"},
      {"<Html>x</Html>", 0, "<Html>x</Html>"},
      {"<html>a</HTML>", 1, std::string("a") + std::string(13, ' ')},
      {"<HTML>", 0, "<HTML>"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(stripEmbeddedHtml(text), c.stretches) << c.text;
    EXPECT_EQ(text, c.after) << c.text;
  }
}

}  // namespace
}  // namespace qg
