#include "text/base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace qg {
namespace {

using namespace std::string_literals;

TEST(DecodeBase64, DecodesInPlaceAndBlanksWhatWasRead) {
  struct Case {
    std::string text;
    int count;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"QUJD", 3, "ABC "},
      {"QUI=", 2, "AB  "},
      {"QQ==", 1, "A   "},
      {"QUJD\r\nREVG\r\n", 6, "ABCDEF      "},
      {" Q U\tJ D", 3, "ABC     "},
      {"QQ==QUJD", 1, "A   QUJD"},        // the pad ends the decoding
      {"QUJDRA", 3, "ABC   "},            // an incomplete group gives nothing
      {"QUJD\0REVG"s, 3, "ABC \0REVG"s},  // a zero byte ends the text
      {"QU\0JD"s, 0, "  \0JD"s},
      {"", 0, ""},
      {"QU*D", -1, "QU*D"},
      {"QUJDQ*==", -1, "ABCDQ*=="},  // bytes written so far stay
      {"Q===", -1, "Q==="},
      {"\"QUJD", -1, "\"QUJD"},  // 0x22 is the first byte not skipped
      {"!QUJD", 3, "ABC  "},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(decodeBase64(text), c.count) << c.text;
    EXPECT_EQ(text, c.after) << c.text;
  }
}

TEST(DecodeBase64, ReversesAReferenceEncoderOnRandomData) {
  std::mt19937 random(7);
  for (std::size_t size : {0u, 1u, 2u, 3u, 57u, 58u, 1000u, 4097u}) {
    std::vector<unsigned char> data(size);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    std::string encoded(4 * ((size + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                       data.data(), static_cast<int>(size));
    encoded.resize(static_cast<std::size_t>(length));
    // Break it into mail lines of 76 characters.
    std::string text;
    for (std::size_t i = 0; i < encoded.size(); i += 76) text += encoded.substr(i, 76) + "\r\n";
    const std::size_t original = text.size();
    ASSERT_EQ(decodeBase64(text), static_cast<int>(size));
    EXPECT_EQ(text.size(), original);
    EXPECT_EQ(text.substr(0, size), std::string(data.begin(), data.end())) << size;
    // After a pad the line break behind it was not read and stays.
    EXPECT_EQ(text.find_first_not_of(size % 3 == 0 ? " " : " \r\n", size), std::string::npos)
        << size;
  }
}

}  // namespace
}  // namespace qg
