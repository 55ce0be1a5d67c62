#include "classify/request_template.h"

#include <gtest/gtest.h>

#include <string>

namespace qg {
namespace {

FilledTemplate fill(std::string_view templateText) {
  return fillTemplate(templateText, "Tue, 5 Dec 2006", "Ann <ann@example.org>", "me@example.net",
                      "Hello");
}

TEST(FillTemplate, BodyBetweenTheBracesBehindText) {
  const struct {
    std::string templateText;
    std::string want;
  } cases[] = {
      {"Text:{Your mail of [DateReceived] to [ToEmail]: \"[Subject]\"}",
       "Your mail of Tue, 5 Dec 2006 to me@example.net: \"Hello\""},
      {"junk {not this} TEXT: more {body}{second}", "body"},  // any letter case, first braces
      {"Text:{[Subject]}", "Hello"},                          // a placeholder that ends the body
      {"Text:{[FromReceived]|[subject]|[Subject}", "Ann <ann@example.org>|[subject]|[Subject"},
      {"Text:{}", ""},
      {"No keyword {body}", ""},
      {"Text: no braces", ""},
      {"Text:{never closed", ""},
  };
  for (const auto& c : cases) {
    const FilledTemplate got = fill(c.templateText);
    EXPECT_EQ(got.body, c.want) << c.templateText;
    EXPECT_FALSE(got.quotedPrintable) << c.templateText;
  }
}

TEST(FillTemplate, CyrillicBodyBecomesKoi8rQuotedPrintable) {
  // Windows-1251 "Привет" is KOI8-R F0 D2 C9 D7 C5 D4.
  const FilledTemplate got = fill("Text:{\xCF\xF0\xE8\xE2\xE5\xF2, [Subject].\r\n}");
  EXPECT_TRUE(got.quotedPrintable);
  EXPECT_EQ(got.body, "=F0=D2=C9=D7=C5=D4=2C Hello=2E\r\n");
  // Values are filled in before the encoding, so a Cyrillic Subject makes it too.
  EXPECT_TRUE(fillTemplate("Text:{[Subject]}", "", "", "", "\xC0").quotedPrintable);
}

TEST(EncodeKoi8rQuotedPrintable, SpecialsControlsAndSoftBreaks) {
  EXPECT_EQ(encodeKoi8rQuotedPrintable("a(b)c<d>e@f,g;h:i/j[k]l?m.n=o"),
            "a=28b=29c=3Cd=3Ee=40f=2Cg=3Bh=3Ai=2Fj=5Bk=5Dl=3Fm=2En=3Do");
  EXPECT_EQ(encodeKoi8rQuotedPrintable("_p\\q~r`s!t#u$v%w^x*y\"z-0+"),
            "=5Fp=5Cq=7Er=60s=21t=23u=24v=25w=5Ex=2Ay=22z=2D0+");
  EXPECT_EQ(encodeKoi8rQuotedPrintable(std::string("a\x01\tb\0c", 6)), "a \tb c");

  // More than 70 characters on a line: a soft break before the next one, but
  // never between CR and LF; a LF starts a new line.
  const std::string line(71, 'x');
  EXPECT_EQ(encodeKoi8rQuotedPrintable(line + "yz"), line + "=\r\nyz");
  EXPECT_EQ(encodeKoi8rQuotedPrintable(line + "\r\nyz"), line + "\r\nyz");
  EXPECT_EQ(encodeKoi8rQuotedPrintable(std::string(70, 'x') + "\n" + line),
            std::string(70, 'x') + "\n" + line);
  // Escapes count with their three characters: no line grows past 74.
  const std::string encoded = encodeKoi8rQuotedPrintable(std::string(60, '\xE0'));
  std::size_t start = 0;
  for (std::size_t end = encoded.find("\r\n"); end != std::string::npos;
       start = end + 2, end = encoded.find("\r\n", start)) {
    EXPECT_LE(end - start, 74u);
  }
  EXPECT_LE(encoded.size() - start, 74u);
}

}  // namespace
}  // namespace qg
