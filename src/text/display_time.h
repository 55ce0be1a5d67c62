// Short date and time texts for the windows (history, protocol, viewer, lists),
// in the form of the interface language. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "text/date_record.h"

namespace qg {

// Leave the date out when the record falls on today.
inline constexpr unsigned kDisplayOmitToday = 0x100;

// The short text of a normalised record for the language letter: "e" gives
// "hh:mm AM" / "hh:mm PM" (12-hour clock) then "  d/ m/yyyy" with day before
// month; any other letter ("u", "r") gives "hh:mm  dd.mm.yyyy". With
// kDisplayOmitToday in flags and the record's day number equal to todayDayNumber,
// the date part is left out.
std::string displayTime(const DateRecord& record, char letter, unsigned flags,
                        std::int32_t todayDayNumber);
// The same with today taken from the local clock.
std::string displayTime(const DateRecord& record, char letter, unsigned flags);

}  // namespace qg
