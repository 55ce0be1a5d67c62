#include "text/encoded_word.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/white_space.h"

namespace qg {
namespace {

using namespace std::string_literals;

const std::string kHello1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";  // the Russian "hello", capitalised

TEST(DecodeEncodedWord, DecodesBAndQWordsInPlace) {
  struct Case {
    std::string text, after;
  };
  const std::vector<Case> cases = {
      {"=?koi8-r?B?8NLJ18XU?=", std::string(11, ' ') + kHello1251 + "    "},
      {"=?windows-1251?Q?=CF=F0=E8=E2=E5=F2?=",
       std::string(17, ' ') + kHello1251 + std::string(18 - 6 + 2, ' ')},
      {"=?utf-8?b?0J/RgNC40LLQtdGC?= x",
       std::string(10, ' ') + kHello1251 + std::string(10 + 2, ' ') + " x"},
      {"=?ISO-8859-5?q?=B0_=D0?=", std::string(15, ' ') + "\xC0 \xE0" + std::string(6, ' ')},
      {"=?windows-1251?Q?a=00b?=", std::string(17, ' ') + "a b" + std::string(4, ' ')},
      {"=?koi8-r?B?8NI=?=", std::string(11, ' ') + "\xCF\xF0" + std::string(4, ' ')},
      {"=?koi8-r?B?"
       "?=",
       std::string(13, ' ')},  // empty payload; split to avoid a trigraph
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(decodeEncodedWord(text, 0), 1) << c.text;
    EXPECT_EQ(text, c.after) << c.text;
  }
}

TEST(DecodeEncodedWord, LeavesTextThatIsNoDecodableWordUnchanged) {
  const std::vector<std::string> texts = {
      "=?koi8-r?B?8NLJ18X?=",   // payload length not a multiple of 4
      "=?koi8-r?B?8N=J18XU?=",  // pad inside the payload
      "=?koi8-r?B?8NL*18XU?=",  // outside the alphabet
      "=?ISO-8859-15?Q?abc?=",  // unknown charset
      "=?koi8-r",               // no end of the charset name
      "=?koi8-r?X?abcd?=",      // unknown encoding
      "=?koi8-r?Babcd?=",       // no "?" after the encoding
      "=?koi8-r?B?8NLJ18XU",    // no closing
      "=?koi8-r?B?8NLJ18XU?",
      "=?koi8-r?Q?a=G1?=",       // not hexadecimal
      "=?koi8-r?Q?ab=?=",        // "=" without two digits
      "=?koi8-r?B?8NLJ\0XU?="s,  // a zero byte ends the text before the closing
      "x=?koi8-r?B?8NLJ18XU?=",  // position 0 holds no "=?"
  };
  for (const std::string& original : texts) {
    std::string text = original;
    EXPECT_EQ(decodeEncodedWord(text, 0), 0) << original;
    EXPECT_EQ(text, original);
  }
}

TEST(DecodeEncodedWord, StaysInsideTheSpan) {
  std::string text = "=?koi8-r?B?8NLJ18XU?=";
  const std::string original = text;
  EXPECT_EQ(decodeEncodedWord(std::span<char>(text).first(text.size() - 1), 0), 0);
  EXPECT_EQ(text, original);
  EXPECT_EQ(decodeEncodedWord(text, text.size()), 0);
  EXPECT_EQ(decodeEncodedWord(text, text.size() + 5), 0);
  EXPECT_EQ(decodeEncodedWord(text, text.size() - 1), 0);
}

TEST(DecodeEncodedWords, DecodesEachWordOnceFromLeftToRight) {
  std::string text =
      "Re: =?koi8-r?B?8NLJ18XU?= and =?windows-1251?Q?=3D=3Fkoi8-r=3FB=3FAAAA=3F=3D?=";
  EXPECT_EQ(decodeEncodedWords(text), 2);
  squeezeSpaces(text);
  EXPECT_EQ(text, "Re: " + kHello1251 + " and =?koi8-r?B?AAAA?=");
}

TEST(EncodeKoi8rWords, WritesWordsOfFifteenGroups) {
  EXPECT_EQ(encodeKoi8rWords(kHello1251), "=?koi8-r?B?8NLJ18XU?=");
  EXPECT_EQ(encodeKoi8rWords("\xAA\xAF\xB2\xB3\xBA\xBF"), "=?koi8-r?B?RUlJaWVp?=");
  EXPECT_EQ(encodeKoi8rWords("ab"), "=?koi8-r?B?YWI=?=");
  EXPECT_EQ(encodeKoi8rWords(""), "");

  std::string groups15;
  for (int i = 0; i < 15; ++i) groups15 += "YWFh";  // "aaa"
  const std::string word45 = encodeKoi8rWords(std::string(45, 'a'));
  EXPECT_EQ(word45, "=?koi8-r?B?" + groups15 + "?=");
  const std::string word46 = encodeKoi8rWords(std::string(46, 'a'));
  EXPECT_EQ(word46, word45.substr(0, word45.size() - 2) + "?=\r\n\t=?koi8-r?B?YQ==?=");
}

TEST(EncodeKoi8rWords, DecodesBackToTheText) {
  std::string text;
  for (int b = 0xC0; b <= 0xFF; ++b) text.push_back(static_cast<char>(b));  // 64 letters
  std::string encoded = encodeKoi8rWords(text);
  EXPECT_EQ(decodeEncodedWords(encoded), 2);
  squeezeSpaces(encoded);
  EXPECT_EQ(encoded, text.substr(0, 45) + " " + text.substr(45));
}

}  // namespace
}  // namespace qg
