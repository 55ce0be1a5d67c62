#include "text/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

namespace qg {
namespace {

constexpr std::size_t kBase64TextLimit = std::numeric_limits<int>::max();
constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint8_t kPad = 0xFE;
constexpr std::uint8_t kSkip = 0xFD;
constexpr std::uint8_t kEnd = 0xFC;

constexpr std::array<std::uint8_t, 256> buildClasses() {
  std::array<std::uint8_t, 256> classes{};
  classes.fill(kInvalid);
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    classes[static_cast<std::uint8_t>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  for (int byte = 1; byte < 0x22; ++byte) classes[byte] = kSkip;
  classes[0] = kEnd;
  classes['='] = kPad;
  return classes;
}

constexpr std::array<std::uint8_t, 256> kClasses = buildClasses();

}  // namespace

int decodeBase64(std::span<char> text) {
  // Keeps the count of decoded bytes within the int result.
  text = text.first(std::min<std::size_t>(text.size(), kBase64TextLimit));
  std::size_t read = 0;
  std::size_t write = 0;
  const std::size_t size = text.size();
  for (;;) {
    std::uint8_t values[4];
    int count = 0;
    bool ended = false;
    while (count < 4) {
      if (read == size) {
        ended = true;
        break;
      }
      const std::uint8_t value = kClasses[static_cast<std::uint8_t>(text[read])];
      if (value == kEnd) {
        ended = true;
        break;
      }
      ++read;
      if (value == kSkip) continue;
      values[count++] = value;
    }
    if (ended) break;  // an incomplete group gives nothing
    if (values[0] >= 64 || values[1] >= 64 || values[2] == kInvalid || values[3] == kInvalid)
      return -1;
    const std::uint32_t bits = (std::uint32_t{values[0]} << 18) | (std::uint32_t{values[1]} << 12);
    if (values[2] == kPad) {
      text[write++] = static_cast<char>(bits >> 16);
      break;
    }
    const std::uint32_t more = bits | (std::uint32_t{values[2]} << 6);
    if (values[3] == kPad) {
      text[write++] = static_cast<char>(more >> 16);
      text[write++] = static_cast<char>(more >> 8);
      break;
    }
    const std::uint32_t all = more | values[3];
    text[write++] = static_cast<char>(all >> 16);
    text[write++] = static_cast<char>(all >> 8);
    text[write++] = static_cast<char>(all);
  }
  std::fill(text.begin() + static_cast<std::ptrdiff_t>(write),
            text.begin() + static_cast<std::ptrdiff_t>(read), ' ');
  return static_cast<int>(write);
}

}  // namespace qg
