#include "text/quoted_printable.h"

#include "text/hex_digits.h"

namespace qg {

std::size_t decodeQuotedPrintable(std::span<char> text) {
  const std::size_t size = text.size();
  std::size_t j = 0;
  std::size_t i = 0;
  while (i < size) {
    if (text[i] == '=' && i + 1 < size && text[i + 1] == '\n') {
      text[i] = ' ';
      text[i + 1] = ' ';
      i += 2;
      continue;
    }
    if (text[i] == '=' && i + 2 < size) {
      const int high = hexDigitValue(text[i + 1]);
      const int low = hexDigitValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        const int value = high * 16 + low;
        text[i] = text[i + 1] = text[i + 2] = ' ';
        text[j++] = value == 0 ? ' ' : static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    if (j < i) {
      text[j] = text[i];
      text[i] = ' ';
    }
    ++j;
    ++i;
  }
  return j;
}

}  // namespace qg
