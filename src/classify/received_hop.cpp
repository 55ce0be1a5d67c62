#include "classify/received_hop.h"

#include <algorithm>

#include "text/date_record.h"

namespace qg {

namespace {

constexpr std::string_view kFrom = "FROM ";
constexpr std::string_view kBy = " BY ";
constexpr std::string_view kFor = "FOR ";
constexpr std::string_view kByEnds[] = {" WITH ", " ID ", " FOR "};
constexpr std::string_view kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
// The token reader skips at most this many separators before a token.
constexpr int kSeparatorSkipLimit = 10;
// "hh:mm:ss" and the date before it.
constexpr std::size_t kTimeLength = 8;
constexpr std::size_t kDateLength = 12;
constexpr int kFirstYear = 1900;
constexpr int kLastYear = 2500;

bool isSeparator(char c) {
  return c == ' ' || c == '(' || c == ')' || c == '[' || c == ']';
}

bool endsToken(char c) {
  return isSeparator(c) || c == ':' || c == ';' || c == ',';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

struct HostPart {
  std::string name;
  std::string comment;
  Ipv4Number address = kNoHopAddress;
};

void assignCut(std::string& target, std::string_view token, std::size_t limit) {
  target.assign(token.substr(0, limit));
}

// The token reader over the from or the by part: each word replaces the
// field it is aimed at; "(" aims at the comment, "[" at the address.
HostPart readHostPart(std::string_view part, std::size_t commentLimit) {
  enum class Target { Name, Comment, Address };
  Target target = Target::Name;
  HostPart host;
  std::string addressText;
  std::size_t p = 0;
  for (;;) {
    for (int skipped = 0; skipped < kSeparatorSkipLimit && p < part.size() && isSeparator(part[p]);
         ++skipped) {
      const char c = part[p++];
      if (c == '(') {
        target = Target::Comment;
      } else if (c == '[') {
        target = Target::Address;
      } else if (c == ']') {
        break;
      }
    }
    std::size_t end = p;
    while (end < part.size() && !endsToken(part[end])) ++end;
    if (end == p) break;
    const std::string_view token = part.substr(p, end - p);
    switch (target) {
      case Target::Name:
        assignCut(host.name, token, kHopNameLimit);
        break;
      case Target::Comment:
        assignCut(host.comment, token, commentLimit);
        break;
      case Target::Address:
        assignCut(addressText, token, kHopAddressTextLimit);
        break;
    }
    p = end;
  }
  host.address = parseIpv4(addressText).value_or(kNoHopAddress);
  return host;
}

std::string readForAddress(std::string_view line, std::size_t at) {
  std::size_t p = at + kFor.size();
  for (const char skip : {' ', '<', ' '}) {
    if (p < line.size() && line[p] == skip) ++p;
  }
  std::size_t end = p;
  while (end < line.size() && end - p < kHopForAddressLimit) {
    const char c = line[end];
    if (c == '\0' || c == ' ' || c == '>' || c == ',' || c == ';' || c == ':') break;
    ++end;
  }
  return std::string(line.substr(p, end - p));
}

bool isTimeAt(std::string_view line, std::size_t q) {
  return isDigit(line[q]) && isDigit(line[q + 1]) && line[q + 2] == ':' && isDigit(line[q + 3]) &&
         isDigit(line[q + 4]) && line[q + 5] == ':' && isDigit(line[q + 6]) && isDigit(line[q + 7]);
}

int twoDigits(std::string_view text, std::size_t at) {
  return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// The decimal number at text[at] of at most maxDigits digits, or -1 when no
// digit stands there.
int numberAt(std::string_view text, std::size_t at, std::size_t maxDigits) {
  int value = 0;
  std::size_t digits = 0;
  while (at + digits < text.size() && digits < maxDigits && isDigit(text[at + digits])) {
    value = value * 10 + (text[at + digits] - '0');
    ++digits;
  }
  return digits == 0 ? -1 : value;
}

}  // namespace

std::int64_t readHopTime(std::string_view line) {
  std::size_t q = 0;
  while (q + kTimeLength <= line.size() && !isTimeAt(line, q)) ++q;
  if (q + kTimeLength > line.size() || q < kDateLength) return 0;

  // The date: "d MON yyyy" in the 12 characters before the time.
  const std::string_view date = line.substr(0, q);
  std::size_t p = q - kDateLength;
  if (date[p] == ' ') ++p;
  const int day = numberAt(date, p, 2);
  if (day < 1 || day > 31) return 0;
  p = date.find(' ', p);
  if (p == std::string_view::npos) return 0;
  const std::string_view monthName = date.substr(p + 1, 3);
  const auto month = std::find(std::begin(kMonths), std::end(kMonths), monthName);
  if (month == std::end(kMonths)) return 0;
  p = date.find(' ', p + 1);
  if (p == std::string_view::npos) return 0;
  const int year = numberAt(date, p + 1, 4);
  if (year < kFirstYear || year > kLastYear) return 0;

  int hour = twoDigits(line, q);
  int minute = twoDigits(line, q + 3);
  const int second = twoDigits(line, q + 6);
  // A zone "+hhmm" is that far ahead of universal time: take it back.
  const std::size_t blank = line.find(' ', q + kTimeLength);
  if (blank != std::string_view::npos && blank + 6 <= line.size() &&
      (line[blank + 1] == '+' || line[blank + 1] == '-')) {
    const std::string_view digits = line.substr(blank + 2, 4);
    if (std::all_of(digits.begin(), digits.end(), isDigit)) {
      const int hhmm = numberAt(digits, 0, 4);
      const int zone = line[blank + 1] == '+' ? -hhmm : hhmm;
      hour += zone / 100;
      minute += zone % 100;
    }
  }
  const int monthNumber = static_cast<int>(month - std::begin(kMonths)) + 1;
  return DateRecord::fromFields(year, monthNumber, day, hour, minute, second).stamp;
}

std::optional<ReceivedHop> readReceivedLine(std::string_view line) {
  line = line.substr(0, kReceivedLineLimit);
  const std::size_t from = line.find(kFrom);
  if (from == std::string_view::npos) return std::nullopt;
  const std::size_t fromPart = from + kFrom.size();
  // " BY " may share the blank that ends "FROM ".
  const std::size_t by = line.find(kBy, fromPart - 1);
  if (by == std::string_view::npos) return std::nullopt;

  ReceivedHop hop;
  hop.marks = hop_mark::kValid;
  const std::size_t fromStart = std::min(fromPart, by);
  const HostPart sender =
      readHostPart(line.substr(fromStart, by - fromStart), kHopFromCommentLimit);
  hop.fromName = sender.name;
  hop.fromComment = sender.comment;
  hop.fromAddress = sender.address;

  const std::size_t byPart = by + kBy.size();
  std::size_t byEnd = line.size();
  for (const std::string_view end : kByEnds) {
    byEnd = std::min(byEnd, line.find(end, byPart + 1));
  }
  byEnd = std::max(byEnd, byPart);
  const HostPart receiver = readHostPart(line.substr(byPart, byEnd - byPart), kHopByCommentLimit);
  hop.byName = receiver.name;
  hop.byComment = receiver.comment;
  hop.byAddress = receiver.address;

  const std::size_t forAt = line.find(kFor, 1);
  if (forAt != std::string_view::npos) hop.forAddress = readForAddress(line, forAt);
  hop.stamp = readHopTime(line);
  return hop;
}

}  // namespace qg
