#include "text/charsets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qg {
namespace {

using namespace std::string_literals;

std::string converted(std::string text, int index) {
  toWindows1251(text, index);
  return text;
}

// Windows-1251 alphabets without Yo, the order every source table below follows.
const std::string kUpper1251 = [] {
  std::string s;
  for (int b = 0xC0; b <= 0xDF; ++b) s.push_back(static_cast<char>(b));
  return s;
}();
const std::string kLower1251 = [] {
  std::string s;
  for (int b = 0xE0; b <= 0xFF; ++b) s.push_back(static_cast<char>(b));
  return s;
}();

TEST(SameName, ComparesWithoutCaseAndTakesABlankAsTheEnd) {
  struct Case {
    std::string a, b;
    bool equal;
  };
  const std::vector<Case> cases = {
      {"koi8-r", "KOI8-R", true},
      {"koi8-r more", "koi8-r", true},
      {"koi8-r;", "koi8-r", false},
      {"koi8-r\n", "koi8-r", false},
      {"MAILER-DAEMON", "mailer-daemon", true},
      {"@", "`", true},
      {"abc", "abd", false},
      {"abc", "ab", false},
      {"", "", true},
      {"ab\0cd"s, "AB", true},
  };
  for (const Case& c : cases) EXPECT_EQ(sameName(c.a, c.b) == 0, c.equal) << c.a << " / " << c.b;
}

TEST(UpperCase1251, MapsEveryLowerCaseLetterAndNothingElse) {
  std::vector<std::pair<int, int>> pairs = {{0xB8, 0xA8}, {0xBA, 0xAA}, {0xBF, 0xAF}, {0xB3, 0xB2},
                                            {0xA2, 0xA1}, {0xBC, 0xA3}, {0xB4, 0xA5}, {0x83, 0x81},
                                            {0x90, 0x80}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
                                            {0x9E, 0x8E}, {0x9F, 0x8F}};
  for (int b = 'a'; b <= 'z'; ++b) pairs.push_back({b, b - 0x20});
  for (int b = 0xE0; b <= 0xFF; ++b) pairs.push_back({b, b - 0x20});
  std::vector<bool> lower(256, false);
  for (const auto& [from, to] : pairs) {
    lower[from] = true;
    EXPECT_EQ(upperCase1251(static_cast<std::uint8_t>(from)), to) << std::hex << from;
  }
  for (int b = 0; b < 256; ++b) {
    if (!lower[b]) {
      EXPECT_EQ(upperCase1251(static_cast<std::uint8_t>(b)), b) << std::hex << b;
    }
  }
  std::string text = "priv\xE5\xF2 \xB8!";
  upperCase1251(std::span<char>(text));
  EXPECT_EQ(text, "PRIV\xC5\xD2 \xA8!");
}

TEST(StartsWithWord, ComparesUpperCasedPrefix) {
  EXPECT_TRUE(startsWithWord("content-type: text/plain", "CONTENT-TYPE"));
  EXPECT_TRUE(startsWithWord("\xEF\xF0\xE8\xE2\xE5\xF2 all", "\xCF\xD0\xC8\xC2\xC5\xD2"));
  EXPECT_TRUE(startsWithWord("anything", ""));
  EXPECT_FALSE(startsWithWord("cont", "CONTENT"));
  EXPECT_FALSE(startsWithWord("cont\0ent"s, "CONTENT"));
  EXPECT_FALSE(startsWithWord("boundary", "BOUNDARIES"));
}

TEST(RecogniseCharset, MatchesNamesEndedByTheTextOrABlankOnly) {
  struct Case {
    std::string text;
    std::size_t start;
    std::optional<std::uint32_t> flag;
    std::size_t advance;
  };
  const std::vector<Case> cases = {
      {"koi8-r", 0, 0x20, 6},
      {"charset=KOI8-R rest", 8, 0x20, 6},
      {"koi8-r;", 0, std::nullopt, 0},
      {"koi8-r\n", 0, std::nullopt, 0},
      {"\"koi8-r\" ", 0, 0x20, 8},
      {"\"koi8-r\";", 0, std::nullopt, 0},
      {"koi8-u", 0, 0x10, 6},
      {"utf-8", 0, 0x100000, 5},
      {"\"UTF-8\"", 0, 0x100000, 7},
      {"ibm866", 0, 0x40, 6},
      {"iso-8859-5", 0, 0x80, 10},
      {"iso-8859-1", 0, 0x8, 10},
      {"ISO-8859-15", 0, std::nullopt, 0},
      {"mac-cyrillic", 0, 0x100, 12},
      {"windows-1251", 0, 0x8, 12},
      {"us-ascii", 0, 0x8, 8},
      {"big5", 0, std::nullopt, 0},
      {"koi8-r", 7, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    std::size_t position = c.start;
    std::uint32_t flags = 0x1;
    std::size_t counter = 100;
    const bool got = recogniseCharset(c.text, position, flags, counter);
    EXPECT_EQ(got, c.flag.has_value()) << c.text;
    EXPECT_EQ(flags, 0x1 | c.flag.value_or(0)) << c.text;
    EXPECT_EQ(position, c.start + c.advance) << c.text;
    EXPECT_EQ(counter, 100 + c.advance) << c.text;
  }
}

TEST(EncodedWordCharset, KnowsTheListedNamesOnly) {
  const std::vector<std::pair<std::string, std::optional<int>>> cases = {
      {"windows-1251", 0}, {"KOI8-U", 1},       {"koi8-r", 2},     {"koi-8", 0},
      {"ibm866", 3},       {"iso-8859-5", 4},   {"ISO-8859-1", 0}, {"Mac-Cyrillic", 5},
      {"UTF-8", 6},        {"unknown", 0},      {"asmo-708", 0},   {"us-ascii", 0},
      {"windows-1255", 0}, {"ISO-8859-15", {}}, {"koi8-ru", {}},   {"", {}},
      {"utf-16", {}},
  };
  for (const auto& [name, index] : cases) EXPECT_EQ(encodedWordCharset(name), index) << name;
}

TEST(ToWindows1251, ConvertsTheAlphabetOfEachEightBitCharset) {
  const std::string koi8Lower =
      "\xC1\xC2\xD7\xC7\xC4\xC5\xD6\xDA\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0"
      "\xD2\xD3\xD4\xD5\xC6\xC8\xC3\xDE\xDB\xDD\xDF\xD9\xD8\xDC\xC0\xD1";
  std::string koi8Upper = koi8Lower;
  for (char& c : koi8Upper) c = static_cast<char>(c + 0x20);
  std::string ibmUpper, ibmLower, isoUpper, isoLower, macUpper, macLower;
  for (int i = 0; i < 32; ++i) {
    ibmUpper.push_back(static_cast<char>(0x80 + i));
    ibmLower.push_back(static_cast<char>(i < 16 ? 0xA0 + i : 0xE0 + i - 16));
    isoUpper.push_back(static_cast<char>(0xB0 + i));
    isoLower.push_back(static_cast<char>(0xD0 + i));
    macUpper.push_back(static_cast<char>(0x80 + i));
    macLower.push_back(static_cast<char>(i < 31 ? 0xE0 + i : 0xDF));
  }
  struct Case {
    int index;
    std::string upper, lower, yo, yoTo;
  };
  const std::vector<Case> cases = {
      {kCharsetKoi8u, koi8Upper, koi8Lower, "\xB3\xA3", "\xA8\xB8"},
      {kCharsetKoi8r, koi8Upper, koi8Lower, "\xB3\xA3", "\xA8\xB8"},
      {kCharsetIbm866, ibmUpper, ibmLower, "\xF0\xF1", "\x82\x84"},
      {kCharsetIso88595, isoUpper, isoLower, "\xA1\xF1", "\xA1\xB1"},
      {kCharsetMacCyrillic, macUpper, macLower, "\xDD\xDE", "\xA8\xB8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(converted(c.upper, c.index), kUpper1251) << c.index;
    EXPECT_EQ(converted(c.lower, c.index), kLower1251) << c.index;
    EXPECT_EQ(converted(c.yo + "ok", c.index), c.yoTo + "ok") << c.index;
  }
}

TEST(ToWindows1251, KeepsTheDeliberateTableChoices) {
  struct Case {
    int index;
    std::string from, to;
  };
  const std::vector<Case> cases = {
      {kCharsetKoi8u, "\xA4\xA6\xA7\xB4\xB6\xB7\xAD\x80", "\xBA\xB3\xBA\xAA\xB2\xAA\xAD\x80"},
      {kCharsetKoi8r, "\x80\x9A\xA4\xBF", "\x80\x9A\xA4\xBF"},
      {kCharsetIbm866, "\xB0\xC2\xC3\xC4\xDF\xF0\xF4\xF7\xF8\xFF",
       "\x88\x9A\x81\x9C\xB7\x82\x80\x9B\xB8\xBF"},
      {kCharsetIso88595, "\x80\xA0\xA1\xAD\xF0\xFF", "\x80\xA0\xA1\xAD\xB0\xBF"},
      {kCharsetMacCyrillic, "\xA2\xB3\xB6\xC3\xCF\xD6\xDC\xFF", "\x82\x98\xB3\xA5\xB7\xBE\xB9\xA4"},
      {kCharsetNoConversion, "\xC1\x98\x80", "\xC1\x98\x80"},
      {99, "\xC1\x01\xC1", "\xC1\xC1 "},
  };
  for (const Case& c : cases) EXPECT_EQ(converted(c.from, c.index), c.to) << c.index;
}

TEST(ToWindows1251, Utf8ShrinksAndPadsWithSpaces) {
  struct Case {
    std::string from, to;
  };
  const std::vector<Case> cases = {
      {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82!", "\xCF\xF0\xE8\xE2\xE5\xF2!      "},
      {"\xE4\xB8\x80", "  \x80"},  // outside Windows-1251: one space per lead byte
      {"\xE2\x84\x96\xE2\x82\xAC", "\xB9\x88    "},  // numero sign, euro
      {"\xD0\x89", "\x8A "},  // LJE, not the GHE WITH UPTURN of the table's 0xA5
      {"\xD2\x90\xD2\x91", "  \xB4 "},
      {"\xC2\x85\xC2\xB5", "\xB5   "},
      {"\x80\xD0", "\x80 "},  // truncated sequence at the end
      {"\x01\xD0\x9F\xD0\x9F", "\xD0 \xCF  "},
  };
  for (const Case& c : cases) EXPECT_EQ(converted(c.from, kCharsetUtf8), c.to);

  std::string alphabet;
  for (int code = 0x410; code <= 0x44F; ++code) {
    alphabet.push_back(static_cast<char>(0xC0 | (code >> 6)));
    alphabet.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
  EXPECT_EQ(converted(alphabet, kCharsetUtf8), kUpper1251 + kLower1251 + std::string(64, ' '));
}

TEST(ToWindows1251, MarkerProtectsTheNextByteAndZeroEndsTheText) {
  EXPECT_EQ(converted("\x01\xC0\xC1", kCharsetKoi8r), "\xC0\xE0 ");
  EXPECT_EQ(converted("ab\x01", kCharsetKoi8r), "ab ");
  EXPECT_EQ(converted("\xC1\0\xC1"s, kCharsetKoi8r), "\xE0\0\xC1"s);
  EXPECT_EQ(converted("\xD0\x9F\0\xD0\x9F"s, kCharsetUtf8), "\xCF \0\xD0\x9F"s);
}

TEST(UnicodeTo1251, MapsLatin1CyrillicAndSpaces) {
  const std::vector<std::pair<std::uint32_t, int>> cases = {
      {0x41, 0x41},  {0xE9, 0xE9},  {0x401, 0xA8}, {0x410, 0xC0},  {0x44F, 0xFF},
      {0x451, 0xB8}, {0x490, 0xA5}, {0x491, 0xB4}, {0x400, ' '},   {0x45D, ' '},
      {0x49F, ' '},  {0x4A0, ' '},  {0x2116, ' '}, {0x1F600, ' '},
  };
  for (const auto& [code, byte] : cases) EXPECT_EQ(unicodeTo1251(code), byte) << std::hex << code;
}

TEST(ToKoi8r, KeepsLowBytesAndMapsLettersBackThroughTheKoi8rTable) {
  const std::vector<std::pair<int, int>> cases = {
      {'A', 'A'},  {0x80, 0x80}, {0xA8, 0xB3}, {0xB8, 0xA3}, {0xAA, 'E'},  {0xAF, 'I'},
      {0xB2, 'I'}, {0xB3, 'i'},  {0xBA, 'e'},  {0xBF, 'i'},  {0xC0, 0xE1}, {0xFF, 0xD1},
  };
  for (const auto& [from, to] : cases) EXPECT_EQ(toKoi8r(static_cast<std::uint8_t>(from)), to);
  for (int b = 0xC0; b <= 0xFF; ++b) {
    std::string one(1, static_cast<char>(toKoi8r(static_cast<std::uint8_t>(b))));
    EXPECT_EQ(converted(one, kCharsetKoi8r), std::string(1, static_cast<char>(b))) << b;
  }
}

TEST(DisplayConversion, FollowsThePublishedCodePage) {
  EXPECT_EQ(windows1251ToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2, ok"),
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, ok");
  EXPECT_EQ(windows1251ToUtf8("\x88\xA5\xB9\x98"), "\xE2\x82\xAC\xD2\x90\xE2\x84\x96\xEF\xBF\xBD");
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(utf8ToWindows1251(windows1251ToUtf8(one)), one) << b;
  }
  const std::vector<std::pair<std::string, std::string>> invalid = {
      {"\xFF", "?"},
      {"\xC0\x80", "??"},
      {"\xED\xA0\x80", "???"},
      {"\xE4\xB8\x80", "?"},
      {"a\xD0", "a?"},
      {"\xD0"
       "A",
       "?A"},
      {"\xEF\xBF\xBD", "?"},
      {"\xF4\x90\x80\x80", "????"},
  };
  for (const auto& [from, to] : invalid) EXPECT_EQ(utf8ToWindows1251(from), to);
}

}  // namespace
}  // namespace qg
