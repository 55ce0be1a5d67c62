#include "classify/mime_decoder.h"

#include <algorithm>
#include <string_view>

#include "classify/html_text.h"
#include "text/base64.h"
#include "text/charsets.h"
#include "text/quoted_printable.h"

namespace qg {
namespace {

struct Keyword {
  std::string_view word;
  std::uint32_t flag;
};

// "boundary" is handled on its own: it carries a value.
constexpr Keyword kContentTypeKeywords[] = {
    {"text/html", kPartHtml},
    {"text/plain", kPartPlain},
    {"multipart", kPartMultipart},
};

constexpr Keyword kPartHeaderKeywords[] = {
    {"text/html", kPartHtml},
    {"text/plain", kPartPlain},
    {"multipart", kPartMultipart},
    {"base64", kPartBase64},
    {"quoted-printable", kPartQuotedPrintable},
    {"application", kPartApplication},
    {"audio", kPartAudio},
    {"image", kPartImage},
    {"video", kPartVideo},
};

// Longer than the longest charset name, quotes included: how far a name's
// end is looked for.
constexpr std::size_t kCharsetNameReach = 20;

// Keywords count only where a token starts: at the start of the scanned text
// or behind one of these bytes.
bool isTokenDelimiter(char c) {
  return c == '\n' || c == ';' || c == ':' || c == ' ' || c == ',' || c == '=';
}

bool keywordAt(std::string_view text, std::size_t at, std::string_view word) {
  return startsWithWord(text.substr(at), word);
}

std::size_t skipSpaces(std::string_view text, std::size_t p, std::size_t end) {
  while (p < end && text[p] == ' ') ++p;
  return p;
}

// Reads the value behind "boundary": spaces, "=", spaces, one double quote,
// then the value. A quoted value ends at the closing quote; a bare one, being
// a token, also at a space or ";".
std::size_t readBoundaryValue(std::string_view text, std::size_t p, std::size_t end,
                              Boundary& boundary) {
  p = skipSpaces(text, p, end);
  bool quoted = false;
  if (p < end && text[p] == '=') {
    p = skipSpaces(text, p + 1, end);
    if (p < end && text[p] == '"') {
      ++p;
      quoted = true;
    }
  }
  boundary.length = 0;
  while (p < end && boundary.length < kBoundaryLimit) {
    const char c = text[p];
    if (c == '"' || c == '\n' || c == '\0') break;
    if (!quoted && (c == ' ' || c == ';')) break;
    boundary.bytes[boundary.length++] = c;
    ++p;
  }
  while (p < end && text[p] != ' ' && text[p] != '\n' && text[p] != '=' && text[p] != '\0') ++p;
  return p;
}

// Steps over the value behind "name" or "filename", so that a file name such
// as image.txt is never read as keywords.
std::size_t skipNameValue(std::string_view text, std::size_t p, std::size_t end) {
  p = skipSpaces(text, p, end);
  if (p < end && text[p] == '=') p = skipSpaces(text, p + 1, end);
  if (p < end && text[p] == '"') {
    ++p;
    while (p < end && text[p] != '"' && text[p] != '\n' && text[p] != '\0') ++p;
    return p < end && text[p] == '"' ? p + 1 : p;
  }
  while (p < end && text[p] != ' ' && text[p] != '\n' && text[p] != ';' && text[p] != '"' &&
         text[p] != '\0')
    ++p;
  return p;
}

// Collects the flags of text[start, end) into flags.
void scanParameters(std::string_view text, std::size_t start, std::size_t end,
                    std::span<const Keyword> keywords, bool withNames, std::uint32_t& flags,
                    Boundary& boundary) {
  std::size_t p = start;
  while (p < end) {
    const bool tokenStart = p == start || isTokenDelimiter(text[p - 1]);
    if (!tokenStart || text[p] == ' ' || text[p] == '\n') {
      ++p;
      continue;
    }
    // A charset name ends at a line feed or ";" as well as at a space, as
    // mail writes it ('charset="koi8-r"' at a line end, 'charset=utf-8;').
    std::size_t nameEnd = p;
    while (nameEnd < end && nameEnd - p < kCharsetNameReach && text[nameEnd] != '\n' &&
           text[nameEnd] != ';' && text[nameEnd] != '\0')
      ++nameEnd;
    std::size_t counter = 0;
    if (recogniseCharset(text.substr(0, nameEnd), p, flags, counter)) continue;
    bool matched = false;
    for (const Keyword& keyword : keywords) {
      if (keywordAt(text, p, keyword.word)) {
        flags |= keyword.flag;
        p += keyword.word.size();
        matched = true;
        break;
      }
    }
    if (matched) continue;
    if (keywordAt(text, p, "boundary")) {
      flags |= kPartBoundary;
      p = readBoundaryValue(text, p + 8, end, boundary);
    } else if (withNames && keywordAt(text, p, "filename")) {
      p = skipNameValue(text, p + 8, end);
    } else if (withNames && keywordAt(text, p, "name")) {
      p = skipNameValue(text, p + 4, end);
    } else {
      ++p;
    }
  }
}

int charsetIndex(std::uint32_t flags) {
  int index = kCharsetNoConversion;
  if (flags & kCharsetFlagKoi8u) index = kCharsetKoi8u;
  if (flags & kCharsetFlagKoi8r) index = kCharsetKoi8r;
  if (flags & kCharsetFlagIbm866) index = kCharsetIbm866;
  if (flags & kCharsetFlagIso88595) index = kCharsetIso88595;
  if (flags & kCharsetFlagMacCyrillic) index = kCharsetMacCyrillic;
  if (flags & kCharsetFlagUtf8) index = kCharsetUtf8;
  return index;
}

void blank(std::span<char> text, std::size_t from, std::size_t to) {
  std::fill(text.begin() + static_cast<std::ptrdiff_t>(from),
            text.begin() + static_cast<std::ptrdiff_t>(to), ' ');
}

// Blanks the line of the boundary occurrence at text[at]: back to a LF or a
// space (never before floor), forward to the line's LF. Returns the position
// behind that LF, or the end of text when the line has none.
std::size_t blankBoundaryLine(std::span<char> text, std::size_t at, std::size_t floor) {
  std::size_t from = at;
  while (from > floor && text[from - 1] != '\n' && text[from - 1] != ' ') --from;
  std::size_t to = at;
  while (to < text.size() && text[to] != '\n') ++to;
  blank(text, from, to);
  return to < text.size() ? to + 1 : to;
}

int walk(std::span<char> span, std::string_view boundary, int depth) {
  if (boundary.empty() || depth > kMultipartNestingLimit) return 0;
  const std::string_view text(span.data(), span.size());
  const std::size_t first = text.find(boundary);
  if (first == std::string_view::npos) return 0;
  std::size_t position = blankBoundaryLine(span, first, 0);
  int parts = 0;
  while (position < text.size()) {
    const std::size_t next = text.find(boundary, position);
    if (next == std::string_view::npos) break;
    const std::size_t partStart = position;
    const std::size_t partEnd = next + boundary.size();
    position = blankBoundaryLine(span, next, partStart);

    // A part whose first line is empty has no header; otherwise the header
    // runs, after leading blank space, to the first empty line.
    std::size_t headerStart = partStart;
    std::size_t contentStart = partStart + 1;
    std::uint32_t flags = 0;
    Boundary own;
    if (text[partStart] != '\n') {
      while (headerStart < partEnd && (text[headerStart] == ' ' || text[headerStart] == '\n'))
        ++headerStart;
      if (headerStart == partEnd) break;
      const std::size_t headerEnd = text.substr(0, partEnd).find("\n\n", headerStart);
      if (headerEnd == std::string_view::npos) break;
      scanParameters(text.substr(0, headerEnd), headerStart, headerEnd, kPartHeaderKeywords, true,
                     flags, own);
      contentStart = headerEnd + 2;
      blank(span, headerStart, contentStart);
    }

    std::span<char> content = span.subspan(contentStart, partEnd - contentStart);
    if (flags & kPartBoundary) {
      parts += walk(content, own.view(), depth + 1);
      continue;
    }
    std::size_t skip = 0;
    while (skip < content.size() && (content[skip] == ' ' || content[skip] == '\n')) ++skip;
    decodePart(content.subspan(skip), flags);
    if (flags & kPartAttachment) blank(span, partStart, partEnd);
    ++parts;
  }
  return parts;
}

}  // namespace

std::size_t readContentType(std::string_view text, std::size_t position, std::uint32_t& flags,
                            Boundary& boundary) {
  position = std::min(position, text.size());
  std::size_t lineEnd = position;
  while (lineEnd < text.size() && text[lineEnd] != '\n' && text[lineEnd] != '\0') ++lineEnd;
  scanParameters(text, position, lineEnd, kContentTypeKeywords, false, flags, boundary);
  return lineEnd;
}

int walkMultipart(std::span<char> span, std::string_view boundary) {
  return walk(span, boundary, 0);
}

int decodePart(std::span<char> span, std::uint32_t flags) {
  int result = -1;
  if (flags & kPartBase64) {
    const int decoded = decodeBase64(span);
    result = decoded < 0 ? 0 : decoded;
  }
  // A zero byte ends the text for the charset conversion and the steps after
  // it; decoded content may carry one, and must not hide the rest of the part.
  std::replace(span.begin(), span.end(), '\0', ' ');
  if (flags & kPartQuotedPrintable) decodeQuotedPrintable(span);
  if (flags & kPartHtml) {
    stripHtml(span);
  } else {
    stripEmbeddedHtml(span);
  }
  toWindows1251(span, charsetIndex(flags));
  return result;
}

}  // namespace qg
