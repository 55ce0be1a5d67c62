#include "text/display_time.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace qg {
namespace {

std::string formatted(const char* format, auto... values) {
  std::array<char, 96> text{};
  const int n = std::snprintf(text.data(), text.size(), format, values...);
  if (n < 0) return {};
  return std::string(text.data(),
                     std::min<std::size_t>(static_cast<std::size_t>(n), text.size() - 1));
}

}  // namespace

std::string displayTime(const DateRecord& record, char letter, unsigned flags,
                        std::int32_t todayDayNumber) {
  const bool withDate = (flags & kDisplayOmitToday) == 0 || record.dayNumber != todayDayNumber;
  if (letter == 'e' || letter == 'E') {
    // 12-hour clock: 0:xx is 12:xx AM, 12:xx is 12:xx PM.
    const bool pm = record.hour >= 12;
    const int hour = record.hour % 12 == 0 ? 12 : record.hour % 12;
    std::string text = formatted("%02d:%02d %s", hour, record.minute, pm ? "PM" : "AM");
    if (withDate) text += formatted("  %2d/%2d/%d", record.day, record.month, record.year);
    return text;
  }
  if (!withDate) return formatted("%02d:%02d", record.hour, record.minute);
  return formatted("%02d:%02d  %02d.%02d.%04d", record.hour, record.minute, record.day,
                   record.month, record.year);
}

std::string displayTime(const DateRecord& record, char letter, unsigned flags) {
  return displayTime(record, letter, flags, DateRecord::now().dayNumber);
}

}  // namespace qg
