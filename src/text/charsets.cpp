#include "text/charsets.h"

#include <algorithm>
#include <array>

#include "text/charset_tables.h"

namespace qg {
namespace {

std::string_view upToZero(std::string_view text) {
  return text.substr(0, std::min(text.find('\0'), text.size()));
}

struct CharsetName {
  std::string_view name;
  std::uint32_t flag;
};

// In the order they are tried; the quoted forms follow all bare ones.
constexpr std::array<CharsetName, 22> kCharsetNames = {{
    {"windows-1251", kCharsetFlagNoConversion},
    {"koi8-u", kCharsetFlagKoi8u},
    {"koi8-r", kCharsetFlagKoi8r},
    {"utf-8", kCharsetFlagUtf8},
    {"IBM866", kCharsetFlagIbm866},
    {"ISO-8859-5", kCharsetFlagIso88595},
    {"ISO-8859-1", kCharsetFlagNoConversion},
    {"mac-cyrillic", kCharsetFlagMacCyrillic},
    {"ASMO-708", kCharsetFlagNoConversion},
    {"US-ASCII", kCharsetFlagNoConversion},
    {"WINDOWS-1255", kCharsetFlagNoConversion},
    {"\"windows-1251\"", kCharsetFlagNoConversion},
    {"\"koi8-u\"", kCharsetFlagKoi8u},
    {"\"koi8-r\"", kCharsetFlagKoi8r},
    {"\"utf-8\"", kCharsetFlagUtf8},
    {"\"IBM866\"", kCharsetFlagIbm866},
    {"\"ISO-8859-5\"", kCharsetFlagIso88595},
    {"\"ISO-8859-1\"", kCharsetFlagNoConversion},
    {"\"mac-cyrillic\"", kCharsetFlagMacCyrillic},
    {"\"ASMO-708\"", kCharsetFlagNoConversion},
    {"\"US-ASCII\"", kCharsetFlagNoConversion},
    {"\"WINDOWS-1255\"", kCharsetFlagNoConversion},
}};

struct EncodedWordName {
  std::string_view name;
  int index;
};

// All are tested and the last match wins.
constexpr std::array<EncodedWordName, 14> kEncodedWordNames = {{
    {"windows-1251", kCharsetNoConversion},
    {"koi8-u", kCharsetKoi8u},
    {"koi8-r", kCharsetKoi8r},
    {"koi-8", kCharsetNoConversion},
    {"IBM866", kCharsetIbm866},
    {"ISO-8859-5", kCharsetIso88595},
    {"ISO-8859-1", kCharsetNoConversion},
    {"mac-cyrillic", kCharsetMacCyrillic},
    {"utf-8", kCharsetUtf8},
    {"UNKNOWN", kCharsetNoConversion},
    {"ISO-8859-1", kCharsetNoConversion},
    {"ASMO-708", kCharsetNoConversion},
    {"US-ASCII", kCharsetNoConversion},
    {"WINDOWS-1255", kCharsetNoConversion},
}};

std::uint8_t byteAt(std::span<const char> text, std::size_t i) {
  return i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

// The Windows-1251 byte of the UTF-8 sequence at text[i], and its length;
// length 0 when no entry of the table starts there.
struct Utf8Hit {
  std::uint8_t byte;
  std::size_t length;
};

Utf8Hit lookUpUtf8(std::span<const char> text, std::size_t i) {
  const std::uint8_t first = byteAt(text, i);
  const std::uint8_t second = byteAt(text, i + 1);
  if (second < 0x80 || second > 0xBF) return {0, 0};
  if (first >= 0xC0 && first <= 0xDF) {
    const std::uint8_t hit = kUtf8TwoByteIndex[first - 0xC0][second - 0x80];
    return {hit, hit != 0 ? 2u : 0u};
  }
  if (first == kUtf8ThreeByteLead) {
    const std::uint8_t third = byteAt(text, i + 2);
    if (third < 0x80 || third > 0xBF) return {0, 0};
    const std::uint8_t hit = kUtf8E2Index[second - 0x80][third - 0x80];
    return {hit, hit != 0 ? 3u : 0u};
  }
  return {0, 0};
}

void appendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Length of the valid UTF-8 sequence at text[i] and its character, or length
// 0 when the byte there does not start one.
struct Utf8Char {
  std::uint32_t code;
  std::size_t length;
};

Utf8Char decodeUtf8(std::string_view text, std::size_t i) {
  const auto lead = static_cast<std::uint8_t>(text[i]);
  std::size_t length = 0;
  std::uint32_t code = 0;
  std::uint32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, lowest = 0x10000;
  } else {
    return {0, 0};
  }
  if (text.size() - i < length) return {0, 0};
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<std::uint8_t>(text[i + k]);
    if ((next & 0xC0) != 0x80) return {0, 0};
    code = (code << 6) | (next & 0x3F);
  }
  if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {0, 0};
  return {code, length};
}

}  // namespace

int sameName(std::string_view a, std::string_view b) {
  a = upToZero(a);
  b = upToZero(b);
  const std::size_t n = std::min(a.size(), b.size()) + 1;
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(i < a.size() ? a[i] : 0) & 0xDF;
    const auto cb = static_cast<unsigned char>(i < b.size() ? b[i] : 0) & 0xDF;
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

std::uint8_t upperCase1251(std::uint8_t byte) {
  return kUpperCase1251[byte];
}

void upperCase1251(std::span<char> text) {
  for (char& c : text) c = static_cast<char>(kUpperCase1251[static_cast<std::uint8_t>(c)]);
}

bool startsWithWord(std::string_view text, std::string_view word) {
  text = upToZero(text);
  word = upToZero(word);
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (upperCase1251(static_cast<std::uint8_t>(text[i])) !=
        upperCase1251(static_cast<std::uint8_t>(word[i])))
      return false;
  }
  return true;
}

bool recogniseCharset(std::string_view text, std::size_t& position, std::uint32_t& flags,
                      std::size_t& counter) {
  if (position > text.size()) return false;
  const std::string_view here = text.substr(position);
  for (const CharsetName& entry : kCharsetNames) {
    if (sameName(here, entry.name) == 0) {
      flags |= entry.flag;
      position += entry.name.size();
      counter += entry.name.size();
      return true;
    }
  }
  return false;
}

std::optional<int> encodedWordCharset(std::string_view name) {
  std::optional<int> index;
  for (const EncodedWordName& entry : kEncodedWordNames) {
    if (sameName(name, entry.name) == 0) index = entry.index;
  }
  return index;
}

void toWindows1251(std::span<char> text, int charsetIndex) {
  const std::size_t end =
      std::min(std::string_view(text.data(), text.size()).find('\0'), text.size());
  const std::array<std::uint8_t, 256>* table = nullptr;
  if (charsetIndex >= kCharsetKoi8u && charsetIndex <= kCharsetMacCyrillic)
    table = &kEightBitTo1251Full[static_cast<std::size_t>(charsetIndex - 1)];
  const bool utf8 = charsetIndex == kCharsetUtf8;

  std::size_t read = 0;
  if (table != nullptr) {
    // Up to the first marker the read and write positions coincide.
    const std::size_t marker =
        std::min(std::string_view(text.data(), end).find(kConvertedMarker), end);
    for (; read < marker; ++read)
      text[read] = static_cast<char>((*table)[static_cast<std::uint8_t>(text[read])]);
  }
  std::size_t write = read;
  while (read < end) {
    const auto byte = static_cast<std::uint8_t>(text[read]);
    if (byte == static_cast<std::uint8_t>(kConvertedMarker)) {
      // A marker at the very end has nothing to protect and is simply dropped.
      if (read + 1 < end) text[write++] = text[read + 1];
      read += 2;
    } else if (byte < 0x80) {
      text[write++] = text[read++];
    } else if (table != nullptr) {
      text[write++] = static_cast<char>((*table)[byte]);
      ++read;
    } else if (utf8 && byte >= 0x81) {
      const Utf8Hit hit = lookUpUtf8(text.first(end), read);
      if (hit.length != 0) {
        text[write++] = static_cast<char>(hit.byte);
        read += hit.length;
      } else {
        text[write++] = ' ';
        ++read;
      }
    } else {
      text[write++] = text[read++];
    }
  }
  std::fill(text.begin() + static_cast<std::ptrdiff_t>(write),
            text.begin() + static_cast<std::ptrdiff_t>(end), ' ');
}

std::uint8_t unicodeTo1251(std::uint32_t character) {
  if (character < 256) return static_cast<std::uint8_t>(character);
  if (character >= kUnicodeTableFirst && character < kUnicodeTableEnd)
    return kUnicodeTo1251[character - kUnicodeTableFirst];
  return ' ';
}

std::uint8_t toKoi8r(std::uint8_t byte) {
  return kWindows1251ToKoi8r[byte];
}

std::string windows1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    appendUtf8(out, byte < 0x80 ? byte : kWindows1251CodePoints[byte - 0x80]);
  }
  return out;
}

std::string utf8ToWindows1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x80) {
      out.push_back(text[i++]);
      continue;
    }
    const Utf8Char decoded = decodeUtf8(text, i);
    if (decoded.length == 0) {
      out.push_back('?');
      ++i;
      continue;
    }
    i += decoded.length;
    char mapped = '?';
    for (std::size_t k = 0; k < kWindows1251CodePoints.size(); ++k) {
      if (kWindows1251CodePoints[k] == decoded.code && decoded.code != 0xFFFD) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    out.push_back(mapped);
  }
  return out;
}

}  // namespace qg
