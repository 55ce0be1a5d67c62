#include "classify/html_text.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "text/charsets.h"
#include "text/hex_digits.h"

namespace qg {
namespace {

// Numeric entities are read at most up to this character number; larger ones
// (and longer digit runs) give a space, never an overflow.
constexpr std::uint32_t kLargestCharacter = 0x10FFFF;
// A named entity's ";" is looked for this many bytes behind the "&".
constexpr std::size_t kNamedEntityReach = 7;

bool startsWith(std::span<const char> text, std::size_t at, std::string_view word) {
  return at <= text.size() && text.size() - at >= word.size() &&
         std::string_view(text.data() + at, word.size()) == word;
}

bool startsWithAnyCase(std::span<const char> text, std::size_t at, std::string_view word) {
  if (at > text.size() || text.size() - at < word.size()) return false;
  return startsWithWord(std::string_view(text.data() + at, word.size()), word);
}

void blank(std::span<char> text, std::size_t from, std::size_t to) {
  for (std::size_t k = from; k < to; ++k) text[k] = ' ';
}

// Handles a "&" at text[i] outside tags; writes at j. Returns the position to
// go on from; j is advanced past what was written.
std::size_t takeEntity(std::span<char> text, std::size_t i, std::size_t& j) {
  const std::size_t size = text.size();
  text[i] = ' ';
  std::size_t k = i + 1;
  if (k < size && text[k] == '#') {
    text[k++] = ' ';
    bool hex = false;
    if (k < size && (text[k] == 'x' || text[k] == 'X')) {
      text[k++] = ' ';
      hex = true;
    }
    const std::size_t digitsStart = k;
    std::uint32_t number = 0;
    bool tooLarge = false;
    while (k < size) {
      const int digit =
          hex ? hexDigitValue(text[k]) : (text[k] >= '0' && text[k] <= '9' ? text[k] - '0' : -1);
      if (digit < 0) break;
      if (!tooLarge) {
        number = number * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
        tooLarge = number > kLargestCharacter;
      }
      ++k;
    }
    if (k == digitsStart || k >= size || text[k] != ';') return digitsStart;
    std::uint8_t byte = tooLarge ? ' ' : unicodeTo1251(number);
    if (byte == 0) byte = ' ';
    blank(text, i, k + 1);
    text[j++] = kConvertedMarker;
    text[j++] = static_cast<char>(byte);
    return k + 1;
  }
  char replacement = ' ';
  if (startsWith(text, k, "lt;")) {
    replacement = '<';
  } else if (startsWith(text, k, "gt;")) {
    replacement = '>';
  } else if (startsWith(text, k, "amp;")) {
    replacement = '&';
  } else if (startsWith(text, k, "quot;")) {
    replacement = '"';
  }
  text[j++] = replacement;
  for (std::size_t s = k; s < size && s <= i + kNamedEntityReach; ++s) {
    if (text[s] == ';') {
      blank(text, k, s + 1);
      return s + 1;
    }
  }
  return k;
}

}  // namespace

std::size_t stripHtml(std::span<char> text) {
  const std::size_t size = text.size();
  std::size_t tagDepth = 0;
  std::size_t styleDepth = 0;
  std::size_t j = 0;
  std::size_t i = 0;
  while (i < size) {
    const char c = text[i];
    if (c == '<') {
      text[i] = ' ';
      ++tagDepth;
      if (startsWithAnyCase(text, i + 1, "STYLE")) {
        ++styleDepth;
      } else if (startsWithAnyCase(text, i + 1, "/STYLE") && styleDepth > 0) {
        --styleDepth;
      }
      ++i;
    } else if (c == '>') {
      text[i] = ' ';
      if (tagDepth > 0) --tagDepth;
      ++i;
    } else if (tagDepth > 0 || styleDepth > 0) {
      text[i] = ' ';
      ++i;
    } else if (c == '&') {
      i = takeEntity(text, i, j);
    } else {
      if (j < i) {
        text[j] = c;
        text[i] = ' ';
      }
      ++j;
      ++i;
    }
  }
  return j;
}

int stripEmbeddedHtml(std::span<char> text) {
  const std::string_view view(text.data(), text.size());
  constexpr auto kNone = std::string_view::npos;
  // The next place of each tag spelling, looked up again only once the walk
  // has passed it, so that many stretches cost one pass, not one per stretch.
  struct Tag {
    std::string_view spelling;
    std::size_t at = 0;
    bool known = false;
    std::size_t next(std::string_view in, std::size_t from) {
      if (!known || (at != kNone && at < from)) {
        at = in.find(spelling, from);
        known = true;
      }
      return at;
    }
  };
  Tag startUpper{"<HTML>"}, startLower{"<html>"}, endUpper{"</HTML>"}, endLower{"</html>"};
  int stretches = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t start = std::min(startUpper.next(view, from), startLower.next(view, from));
    if (start == kNone) return stretches;
    const std::size_t end =
        std::min(endUpper.next(view, start + 6), endLower.next(view, start + 6));
    if (end == kNone) return stretches;
    const std::size_t stretchEnd = end + 7;
    stripHtml(text.subspan(start, stretchEnd - start));
    ++stretches;
    from = stretchEnd;
  }
}

}  // namespace qg
