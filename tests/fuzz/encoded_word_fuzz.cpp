// Fuzzes the in-place decoders of header and body text: every "=?" of the
// input as an encoded word, the whole input as base64 and through each charset
// conversion. Each works on an exactly sized heap copy so that any read or
// write outside the text is caught, and each must keep the text's length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "text/base64.h"
#include "text/charsets.h"
#include "text/encoded_word.h"
#include "text/white_space.h"

#include "exact_copy.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  {
    qg::ExactCopy text(data, size);
    for (std::size_t at = input.find("=?"); at != std::string_view::npos;
         at = input.find("=?", at + 1)) {
      const int result = qg::decodeEncodedWord(text.span(), at);
      check(result == 0 || result == 1);
    }
    check(text.length == size);
  }
  {
    qg::ExactCopy text(data, size);
    const int words = qg::decodeEncodedWords(text.span());
    check(words >= 0);
  }
  {
    qg::ExactCopy text(data, size);
    const int decoded = qg::decodeBase64(text.span());
    check(decoded >= -1 && static_cast<std::size_t>(decoded < 0 ? 0 : decoded) <= size * 3 / 4);
  }
  for (int index = 0; index <= 7; ++index) {
    qg::ExactCopy text(data, size);
    qg::toWindows1251(text.span(), index);
    // Bytes behind the first zero byte belong to no text and must stay.
    const std::size_t end = std::min(input.find('\0'), size);
    check(std::memcmp(text.bytes.get() + end, data + end, size - end) == 0);
  }

  const std::string_view text = input.substr(0, std::min(input.find('\0'), size));
  std::string encoded = qg::encodeKoi8rWords(text);
  const int words = qg::decodeEncodedWords(std::span<char>(encoded));
  check(static_cast<std::size_t>(words) == (text.size() + 44) / 45);

  std::string squeezed(input);
  qg::squeezeSpaces(squeezed);
  check(squeezed.empty() || (static_cast<std::uint8_t>(squeezed.front()) > 0x20 &&
                             static_cast<std::uint8_t>(squeezed.back()) > 0x20));
  return 0;
}
