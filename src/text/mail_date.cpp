#include "text/mail_date.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "text/charsets.h"

namespace qg {
namespace {

constexpr std::array<const char*, 7> kWeekdayNames = {"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// No zone of this world is more than a day away from universal time.
constexpr int kMaxZone = 86'400;

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// A read position over the Date text; every access checks the end.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }
  bool atBlank() const { return !atEnd() && isBlank(text_[pos_]); }
  void advance(std::size_t n = 1) { pos_ = std::min(text_.size(), pos_ + n); }
  std::string_view rest() const { return text_.substr(std::min(pos_, text_.size())); }

  void skipBlanks() {
    while (atBlank()) ++pos_;
  }
  // The word at the position (up to a blank or the end), without moving.
  std::string_view peekWord() const {
    const std::string_view r = rest();
    std::size_t n = 0;
    while (n < r.size() && !isBlank(r[n])) ++n;
    return r.substr(0, n);
  }
  // Reads one or two digits; nullopt when no digit stands at the position.
  std::optional<int> smallNumber() {
    if (!isDigit(peek())) return std::nullopt;
    int value = peek() - '0';
    advance();
    if (isDigit(peek())) {
      value = value * 10 + (peek() - '0');
      advance();
    }
    return value;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// All digits, at least one, and no more than kMaxYear; nullopt otherwise.
std::optional<int> yearValue(std::string_view word) {
  if (word.empty()) return std::nullopt;
  long value = 0;
  for (char c : word) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > kMaxYear) return std::nullopt;
  }
  if (value < 81) return static_cast<int>(value) + 2000;
  if (value < 100) return static_cast<int>(value) + 1900;
  return static_cast<int>(value);
}

std::optional<int> dayValue(std::string_view word) {
  int value = 0;
  for (char c : word) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

int monthValue(std::string_view word) {
  for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
    if (sameName(word, kMonthNames[i]) == 0) return static_cast<int>(i) + 1;
  }
  return 0;
}

// The year word at the cursor, which must be followed by a blank (the time comes next).
std::optional<int> readYear(Cursor& in) {
  const std::string_view word = in.peekWord();
  in.advance(word.size());
  if (!in.atBlank()) return std::nullopt;
  in.skipBlanks();
  return yearValue(word);
}

struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// "d Mon yyyy ": the first word of one or two characters, the second of three.
std::optional<CalendarDate> readNamedDate(Cursor& in) {
  CalendarDate date;
  const std::string_view dayWord = in.peekWord();
  const auto day = dayValue(dayWord);
  if (!day) return std::nullopt;
  date.day = *day;
  in.advance(dayWord.size());
  in.skipBlanks();
  const std::string_view monthWord = in.peekWord();
  date.month = monthValue(monthWord);
  if (date.month == 0) return std::nullopt;
  in.advance(monthWord.size());
  in.skipBlanks();
  const auto year = readYear(in);
  if (!year) return std::nullopt;
  date.year = *year;
  return date;
}

// "n1 sep n2 sep yyyy ": a number followed by "/" is the month when it comes first
// and the day when it comes second; any other separator the other way round.
std::optional<CalendarDate> readNumericDate(Cursor& in) {
  CalendarDate date;
  for (int place = 0; place < 2; ++place) {
    const auto number = in.smallNumber();
    if (!number || in.atEnd() || isDigit(in.peek())) return std::nullopt;
    const bool slash = in.peek() == '/';
    in.advance();
    ((place == 0) == slash ? date.month : date.day) = *number;
  }
  const auto year = readYear(in);
  if (!year) return std::nullopt;
  date.year = *year;
  return date;
}

// "h[:m[:s]]": a part is missing (counts 0) when a blank or the end comes where
// its separator or its number would stand. Returns the seconds, or nullopt when
// something other than a digit stands where a number must start.
std::optional<int> readTime(Cursor& in) {
  int seconds = 0;
  constexpr std::array<int, 3> kUnits = {3600, 60, 1};
  for (std::size_t part = 0; part < kUnits.size(); ++part) {
    if (part > 0) {
      if (in.atEnd() || in.atBlank()) break;
      if (isDigit(in.peek())) return std::nullopt;  // a number of three digits
      in.advance();                                 // the separator
      if (in.atEnd()) break;                        // "18:24:" ends the text
    }
    const auto number = in.smallNumber();
    if (!number) return std::nullopt;
    seconds += *number * kUnits[part];
  }
  return seconds;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string mailDate(const DateRecord& local, const DateRecord& universal) {
  DateRecord here = local;
  DateRecord there = universal;
  here.normalise();
  there.normalise();
  const int zone = zoneSeconds(here, there);
  const int magnitude = std::abs(zone);
  const int hhmm = magnitude / 3600 * 100 + magnitude % 3600 / 60;
  const char* weekday = kWeekdayNames[static_cast<std::size_t>(here.weekday)];
  const char* month = kMonthNames[static_cast<std::size_t>(here.month - 1)];
  std::array<char, 64> text{};
  const int n = std::snprintf(text.data(), text.size(), "%s, %02d %s %d %02d:%02d:%02d %c%04d",
                              weekday, here.day, month, here.year, here.hour, here.minute,
                              here.second, zone < 0 ? '-' : '+', hhmm);
  if (n < 0) return {};
  return std::string(text.data(),
                     std::min<std::size_t>(static_cast<std::size_t>(n), text.size() - 1));
}

std::string mailDate() {
  const std::time_t now = std::time(nullptr);
  return mailDate(DateRecord::local(now), DateRecord::universal(now));
}

std::int64_t parseMailDate(std::string_view text, int localZone) {
  Cursor in(text);
  in.skipBlanks();
  // The weekday: up to the first comma, or a leading word of three characters.
  if (const std::size_t comma = text.find(','); comma != std::string_view::npos) {
    in = Cursor(text.substr(comma + 1));
  } else if (in.peekWord().size() == 3) {
    in.advance(3);
    if (!in.atBlank()) return 0;
  }
  // Folded or hand-written values may hold more than one blank between the words.
  in.skipBlanks();

  const std::string_view first = in.peekWord();
  Cursor second = in;
  second.advance(first.size());
  second.skipBlanks();
  const bool named = (first.size() == 1 || first.size() == 2) && second.peekWord().size() == 3;
  const auto date = named ? readNamedDate(in) : readNumericDate(in);
  if (!date || date->month < 1 || date->month > 12 || date->day < 1 || date->day > 31) return 0;

  const auto timeOfDay = readTime(in);
  if (!timeOfDay) return 0;
  std::int64_t seconds = *timeOfDay;
  const std::int64_t hour = seconds / 3600;

  in.skipBlanks();
  const std::string_view rest = in.rest();
  if (startsWith(rest, "PM") || startsWith(rest, "pm")) {
    if (hour < 12) seconds += 12 * 3600;
    in.advance(2);
  } else if (startsWith(rest, "AM") || startsWith(rest, "am")) {
    if (hour == 12) seconds -= 12 * 3600;  // 12:xx AM is just after midnight
    in.advance(2);
  }
  in.skipBlanks();

  const std::string_view zone = in.rest();
  if (zone.size() >= 5 && (zone[0] == '+' || zone[0] == '-') && isDigit(zone[1]) &&
      isDigit(zone[2]) && isDigit(zone[3]) && isDigit(zone[4])) {
    const int hh = (zone[1] - '0') * 10 + (zone[2] - '0');
    const int mm = (zone[3] - '0') * 10 + (zone[4] - '0');
    const int offset = (hh * 3600 + mm * 60) * (zone[0] == '-' ? -1 : 1);
    seconds += std::clamp(localZone, -kMaxZone, kMaxZone) - offset;
  }
  // Normalised, so that a zone shift across midnight lands on the real
  // neighbouring day and not on a day the calendar does not have.
  return DateRecord::fromFields(date->year, date->month, date->day, 0, 0,
                                static_cast<std::int32_t>(seconds))
      .stamp;
}

std::int64_t parseMailDate(std::string_view text) {
  return parseMailDate(text, localZoneSeconds());
}

}  // namespace qg
