// The value of one hexadecimal digit, for the parsers of hex texts: staging
// lines, period file names, history sizes and "=XX" escapes; and digests
// written as lower-case hex. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qg {

// The value 0-15 of c as a hex digit, either letter case; -1 for any other
// byte (a byte above 0x7F included, whatever the signedness of char).
constexpr int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// bytes as two lower-case hex digits each, appended to text.
inline void appendLowerHex(std::string& text, std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (const std::uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
}

}  // namespace qg
