#include "classify/header_analyzer.h"

#include <algorithm>
#include <array>

#include "classify/mime_decoder.h"
#include "engine/file_primitives.h"
#include "engine/mail_address.h"
#include "text/charsets.h"
#include "text/encoded_word.h"
#include "text/white_space.h"

namespace qg {

namespace {

constexpr std::string_view kContentType = "Content-Type:";
constexpr std::string_view kTransferEncoding = "Content-Transfer-Encoding:";
constexpr std::string_view kReceived = "\nRECEIVED:";
constexpr std::string_view kLocalhost = "LOCALHOST";

std::span<char> spanOf(std::string& text, std::size_t from, std::size_t to) {
  return std::span<char>(text).subspan(from, to - from);
}

// Turns every LF that a blank follows into a blank, up to the empty line
// that ends the header. Returns the header's length: behind that empty line,
// or the whole text when there is none.
std::size_t unfold(std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' || i + 1 == text.size()) continue;
    if (text[i + 1] == '\n') return i + 2;
    if (text[i + 1] == ' ') text[i] = ' ';
  }
  return text.size();
}

// Collects the message header's MIME flags and decodes the encoded words of
// every line. A word cannot make a line of its own: whatever control bytes
// it decodes to (a line feed that could forge a From or Received line
// among them) become blanks.
std::uint32_t scanHeader(std::string& text, std::size_t headerLength, Boundary& boundary) {
  std::uint32_t flags = 0;
  const std::string_view header = std::string_view(text).substr(0, headerLength);
  for (std::size_t start = 0; start < headerLength;) {
    const std::size_t end = std::min(header.find('\n', start), headerLength);
    const std::string_view line = header.substr(start, end - start);
    if (startsWithWord(line, kContentType)) {
      readContentType(header, start + kContentType.size(), flags, boundary);
    } else if (startsWithWord(line, kTransferEncoding)) {
      std::size_t p = kTransferEncoding.size();
      while (p < line.size() && line[p] == ' ') ++p;
      if (startsWithWord(line.substr(p), "base64")) {
        flags |= kPartBase64;
      } else if (startsWithWord(line.substr(p), "quoted-printable")) {
        flags |= kPartQuotedPrintable;
      }
    }
    const std::span<char> bytes = spanOf(text, start, end);
    if (decodeEncodedWords(bytes) > 0) {
      std::replace_if(
          bytes.begin(), bytes.end(), [](char c) { return static_cast<std::uint8_t>(c) < 0x20; },
          ' ');
    }
    start = end + 1;
  }
  return flags;
}

// Squeezes the header in place: blanks at line starts go, every other run of
// blanks becomes one, lines left empty go, every line keeps its LF. Returns
// the length written (the empty line that ends the header not included).
std::size_t squeezeHeader(std::string& text, std::size_t headerLength) {
  std::size_t write = 0;
  bool lineHasText = false;
  bool pendingBlank = false;
  for (std::size_t read = 0; read < headerLength; ++read) {
    const char c = text[read];
    if (c == ' ') {
      pendingBlank = lineHasText;
      continue;
    }
    if (c == '\n' && !lineHasText) continue;
    if (pendingBlank) text[write++] = ' ';
    pendingBlank = false;
    text[write++] = c;
    lineHasText = c != '\n';
  }
  if (pendingBlank) text[write++] = ' ';
  return write;
}

// The value behind "\nNAME:" in the header (searched without regard to
// letter case), from one blank behind the colon to the line end, cut at limit.
std::string fieldValue(std::string_view header, std::string_view name, std::size_t limit) {
  for (std::size_t at = header.find('\n'); at != std::string_view::npos;
       at = header.find('\n', at + 1)) {
    const std::string_view line = header.substr(at + 1);
    if (line.size() <= name.size() || line[name.size()] != ':' || !startsWithWord(line, name)) {
      continue;
    }
    std::size_t start = name.size() + 1;
    if (start < line.size() && line[start] == ' ') ++start;
    const std::size_t end = std::min(line.find('\n', start), line.size());
    return std::string(line.substr(start, std::min(end - start, limit)));
  }
  return {};
}

std::vector<std::string_view> providerDomains(const OwnAddresses& own) {
  std::vector<std::string_view> domains;
  for (const auto& hosts : own.mailExchanges) {
    for (const std::string& host : hosts) {
      const std::string_view domain = providerDomain(host);
      if (!domain.empty()) domains.push_back(domain);
    }
  }
  return domains;
}

void readHops(ParsedMessage& message, const OwnAddresses& own) {
  const std::string_view header = message.header();
  std::size_t count = 0;
  // The first line of the text is the record line, so every header field
  // begins behind a LF. Only fields named RECEIVED count: one whose name
  // merely ends so (X-RECEIVED:, which relays put between the Received
  // lines) is passed over instead of ending the search.
  std::size_t at = header.find(kReceived);
  while (at != std::string_view::npos && count < kMaxHops) {
    std::size_t start = at + kReceived.size();
    if (start < header.size() && header[start] == ' ') ++start;
    const std::size_t end = std::min(header.find('\n', start), header.size());
    if (auto hop = readReceivedLine(header.substr(start, end - start))) {
      message.hops[count++] = std::move(*hop);
    }
    at = header.find(kReceived, end);
  }

  const std::vector<std::string_view> domains = providerDomains(own);
  for (std::size_t i = 0; i < count; ++i) {
    ReceivedHop& hop = message.hops[i];
    if (sameName(hop.fromName, kLocalhost) == 0 || sameName(hop.fromComment, kLocalhost) == 0) {
      hop.marks |= hop_mark::kLocal;
      continue;
    }
    // A suffix of the characters is enough: no label boundary is asked for.
    for (const std::string_view domain : domains) {
      if (std::string_view(hop.fromName).ends_with(domain)) {
        hop.marks |= hop_mark::kLocal;
        break;
      }
    }
  }
}

int analyse(const OwnAddresses& own, ParsedMessage& message) {
  std::string& text = message.text;
  if (text.size() >= kStagingLineBytes) {
    message.recordLine = parseStagingLine(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), kStagingLineBytes));
  }
  dropCarriageReturns(text);
  const std::size_t headerEnd = unfold(text);
  Boundary boundary;
  const std::uint32_t flags = scanHeader(text, headerEnd, boundary);
  std::size_t headerLength = squeezeHeader(text, headerEnd);

  const std::span<char> body = spanOf(text, headerEnd, text.size());
  if (flags & kPartBoundary) {
    walkMultipart(body, boundary.view());
  } else {
    decodePart(body, flags);
  }
  const std::size_t bodyLength = squeezeSpacesInSpan(body);

  // The header ends with its empty line, and the body follows it directly.
  const bool lastLineEnded = headerLength > 0 && text[headerLength - 1] == '\n';
  const std::string_view ending = lastLineEnded ? "\n" : "\n\n";
  if (headerLength + ending.size() <= headerEnd) {
    std::copy(ending.begin(), ending.end(),
              text.begin() + static_cast<std::ptrdiff_t>(headerLength));
    headerLength += ending.size();
    std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(headerEnd), bodyLength,
                text.begin() + static_cast<std::ptrdiff_t>(headerLength));
    text.resize(headerLength + bodyLength);
  } else {
    // Only a header without an empty line can lack the room; it has no body.
    text.resize(headerLength);
    text += ending;
    headerLength = text.size();
  }
  message.headerLength = headerLength;

  const std::string_view header = message.header();
  message.from = fieldValue(header, "FROM", kFieldValueLimit);
  message.to = fieldValue(header, "TO", kFieldValueLimit);
  message.cc = fieldValue(header, "CC", kCcValueLimit);
  message.subject = fieldValue(header, "SUBJECT", kFieldValueLimit);
  message.date = fieldValue(header, "DATE", kFieldValueLimit);

  upperCase1251(text);
  readHops(message, own);
  return 1;
}

}  // namespace

std::size_t ParsedMessage::hopCount() const {
  return static_cast<std::size_t>(
      std::find_if(hops.begin(), hops.end(), [](const ReceivedHop& hop) { return !hop.valid(); }) -
      hops.begin());
}

void ParsedMessage::clear() {
  text.clear();
  headerLength = 0;
  from.clear();
  to.clear();
  cc.clear();
  subject.clear();
  date.clear();
  hops.fill(ReceivedHop{});
  recordLine.reset();
}

int parseStagingText(std::string_view bytes, const OwnAddresses& own, ParsedMessage& message) {
  message.clear();
  if (bytes.empty()) return -1;
  message.text.assign(bytes.substr(0, kAnalysedBytesLimit));
  return analyse(own, message);
}

int parseStagingFile(const std::string& path, const OwnAddresses& own, ParsedMessage& message) {
  message.clear();
  FileHandle file;
  if (!openExisting(path, file)) return -1;
  const std::int64_t size = file.size();
  if (size <= 0) return -1;
  message.text.resize(static_cast<std::size_t>(
      std::min<std::int64_t>(size, static_cast<std::int64_t>(kAnalysedBytesLimit))));
  if (!readExact(file, std::span(reinterpret_cast<std::uint8_t*>(message.text.data()),
                                 message.text.size()))) {
    message.clear();
    return -1;
  }
  file.close();
  return analyse(own, message);
}

std::string senderAddress(const ParsedMessage& message) {
  const std::string_view header = message.header();
  const std::size_t at = header.find("\nFROM:");
  if (at == std::string_view::npos) return {};
  const std::size_t start = at + 6;
  std::string_view value =
      header.substr(start, std::min(header.find('\n', start), header.size()) - start);
  for (const char trailing : {' ', '>', ' '}) {
    if (!value.empty() && value.back() == trailing) value.remove_suffix(1);
  }
  const std::size_t cut = value.find_last_of(" <");
  return std::string(cut == std::string_view::npos ? value : value.substr(cut + 1));
}

int firstHopCountryMismatch(const ParsedMessage& message, const IpCountryList& countries) {
  const std::size_t count = message.hopCount();
  if (count == 0) return 0;
  const ReceivedHop& hop = message.hops[count - 1];
  if (hop.local() || !hop.hasFromAddress()) return 0;
  const std::string_view name = hop.fromName;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.size() - dot - 1 != 2) return 0;
  std::array<char, 2> domain = {name[dot + 1], name[dot + 2]};
  for (char& c : domain) {
    if (c >= '0' && c <= '9') return 0;
    c = static_cast<char>(upperCase1251(static_cast<std::uint8_t>(c)));
  }
  if (!validHostName(name)) return 0;
  const auto country = countries.find(hop.fromAddress);
  if (!country) return 0;
  return *country != domain ? 1 : 0;
}

}  // namespace qg
