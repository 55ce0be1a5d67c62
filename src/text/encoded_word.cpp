#include "text/encoded_word.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "text/charsets.h"
#include "text/hex_digits.h"

namespace qg {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kKoi8rWordOpening = "=?koi8-r?B?";
constexpr std::string_view kWordClosing = "?=";
constexpr std::string_view kWordSeparator = "?=\r\n\t";
constexpr std::size_t kGroupsPerWord = 15;

// Base64 value of a payload character; a backslash is taken as 64, which the
// decoder tolerates from broken mailers (it spills into the previous bits).
int base64Value(char c) {
  if (c == '\\') return 64;
  const std::size_t at = kBase64Alphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

bool validBPayload(std::string_view payload) {
  const std::size_t n = payload.size();
  if (n % 4 != 0) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = payload[i];
    if (c == '=') {
      if (i == n - 1 || (i == n - 2 && payload[n - 1] == '=')) continue;
      return false;
    }
    if (base64Value(c) < 0) return false;
  }
  return true;
}

bool validQPayload(std::string_view payload) {
  for (std::size_t i = 0; i < payload.size(); ++i) {
    if (payload[i] != '=') continue;
    if (i + 2 >= payload.size()) return false;
    if (hexDigitValue(payload[i + 1]) < 0 || hexDigitValue(payload[i + 2]) < 0) return false;
    i += 2;
  }
  return true;
}

// Decodes a valid B payload in place from its start; returns the byte count.
std::size_t decodeB(std::span<char> payload) {
  std::size_t write = 0;
  for (std::size_t i = 0; i + 4 <= payload.size(); i += 4) {
    std::uint32_t bits = 0;
    int bytes = 3;
    for (int k = 0; k < 4; ++k) {
      const char c = payload[i + static_cast<std::size_t>(k)];
      if (c == '=') {
        bytes = std::min(bytes, k - 1);
        continue;
      }
      bits |= static_cast<std::uint32_t>(base64Value(c)) << (18 - 6 * k);
    }
    for (int k = 0; k < bytes; ++k) payload[write++] = static_cast<char>(bits >> (16 - 8 * k));
  }
  return write;
}

// Decodes a valid Q payload in place from its start; returns the byte count.
std::size_t decodeQ(std::span<char> payload) {
  std::size_t write = 0;
  for (std::size_t i = 0; i < payload.size(); ++i) {
    const char c = payload[i];
    if (c == '=') {
      payload[write++] =
          static_cast<char>(hexDigitValue(payload[i + 1]) * 16 + hexDigitValue(payload[i + 2]));
      i += 2;
    } else {
      payload[write++] = c == '_' ? ' ' : c;
    }
  }
  return write;
}

// Decodes the word at position; returns the position behind its closing "?=".
std::optional<std::size_t> decodeWordAt(std::span<char> text, std::size_t position) {
  const std::string_view whole(text.data(), text.size());
  const std::size_t end = std::min(whole.find('\0'), whole.size());
  const std::string_view view = whole.substr(0, end);
  if (position >= end || view.substr(position, 2) != "=?") return std::nullopt;

  const std::size_t nameStart = position + 2;
  const std::size_t nameEnd = view.find('?', nameStart);
  if (nameEnd == std::string_view::npos) return std::nullopt;
  const std::optional<int> charset =
      encodedWordCharset(view.substr(nameStart, nameEnd - nameStart));
  if (!charset) return std::nullopt;

  const std::size_t letterAt = nameEnd + 1;
  if (letterAt + 1 >= end || view[letterAt + 1] != '?') return std::nullopt;
  const char letter = view[letterAt];
  const bool base64 = letter == 'B' || letter == 'b';
  if (!base64 && letter != 'Q' && letter != 'q') return std::nullopt;

  const std::size_t payloadStart = letterAt + 2;
  const std::size_t closing = view.find(kWordClosing, payloadStart);
  if (closing == std::string_view::npos) return std::nullopt;
  const std::string_view payload = view.substr(payloadStart, closing - payloadStart);
  if (base64 ? !validBPayload(payload) : !validQPayload(payload)) return std::nullopt;

  const std::span<char> payloadBytes = text.subspan(payloadStart, payload.size());
  const std::size_t decoded = base64 ? decodeB(payloadBytes) : decodeQ(payloadBytes);
  std::fill(payloadBytes.begin() + static_cast<std::ptrdiff_t>(decoded), payloadBytes.end(), ' ');
  std::replace(payloadBytes.begin(), payloadBytes.begin() + static_cast<std::ptrdiff_t>(decoded),
               '\0', ' ');
  toWindows1251(payloadBytes.first(decoded), *charset);
  std::fill(text.begin() + static_cast<std::ptrdiff_t>(position),
            text.begin() + static_cast<std::ptrdiff_t>(payloadStart), ' ');
  text[closing] = ' ';
  text[closing + 1] = ' ';
  return closing + kWordClosing.size();
}

void appendGroup(std::string& out, const std::uint8_t* bytes, std::size_t count) {
  const std::uint32_t bits = (std::uint32_t{bytes[0]} << 16) |
                             (count > 1 ? std::uint32_t{bytes[1]} << 8 : 0) |
                             (count > 2 ? std::uint32_t{bytes[2]} : 0);
  out.push_back(kBase64Alphabet[(bits >> 18) & 0x3F]);
  out.push_back(kBase64Alphabet[(bits >> 12) & 0x3F]);
  out.push_back(count > 1 ? kBase64Alphabet[(bits >> 6) & 0x3F] : '=');
  out.push_back(count > 2 ? kBase64Alphabet[bits & 0x3F] : '=');
}

}  // namespace

int decodeEncodedWord(std::span<char> text, std::size_t position) {
  return decodeWordAt(text, position) ? 1 : 0;
}

int decodeEncodedWords(std::span<char> text) {
  const std::string_view whole(text.data(), text.size());
  const std::size_t end = std::min(whole.find('\0'), whole.size());
  int count = 0;
  std::size_t at = whole.substr(0, end).find("=?");
  while (at != std::string_view::npos) {
    std::size_t next = at + 1;
    if (const std::optional<std::size_t> behind = decodeWordAt(text, at)) {
      ++count;
      next = *behind;
    }
    at = whole.substr(0, end).find("=?", next);
  }
  return count;
}

std::string encodeKoi8rWords(std::string_view windows1251Text) {
  const std::string_view text =
      windows1251Text.substr(0, std::min(windows1251Text.find('\0'), windows1251Text.size()));
  std::string out;
  if (text.empty()) return out;
  const std::size_t groups = (text.size() + 2) / 3;
  const std::size_t words = (groups + kGroupsPerWord - 1) / kGroupsPerWord;
  out.reserve(groups * 4 + words * (kKoi8rWordOpening.size() + kWordSeparator.size()));
  for (std::size_t group = 0; group < groups; ++group) {
    if (group % kGroupsPerWord == 0) {
      if (group != 0) out += kWordSeparator;
      out += kKoi8rWordOpening;
    }
    std::uint8_t bytes[3] = {0, 0, 0};
    const std::size_t count = std::min<std::size_t>(3, text.size() - group * 3);
    for (std::size_t k = 0; k < count; ++k)
      bytes[k] = toKoi8r(static_cast<std::uint8_t>(text[group * 3 + k]));
    appendGroup(out, bytes, count);
  }
  out += kWordClosing;
  return out;
}

}  // namespace qg
