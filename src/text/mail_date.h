// Mail Date texts: the Date value written into outgoing mail, and the reader
// that turns the Date value of received mail into a local time stamp.
// Pure functions of their arguments (the overloads without a zone or time read
// the system clock and zone); any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/date_record.h"

namespace qg {

// The Date text of outgoing mail for the moment given as its local and universal
// records, for example "Tue, 05 Dec 2006 18:24:11 +0300": English weekday and
// month names, the local time, and the zone as sign and hhmm ("+" when local
// time is universal time or ahead of it).
std::string mailDate(const DateRecord& local, const DateRecord& universal);
// The same for the current moment.
std::string mailDate();

// Reads a received Date value: "[Wdy,] d Mon yy[yy] h:m[:s] [AM|PM] [+hhmm]" and
// the numeric forms "m/d/yyyy ..." and "d.m.yyyy ..." (a number followed by "/"
// is the month when it comes first). Two-digit years below 81 are 20xx, others 19xx.
// A numeric zone moves the time to local time (localZone: seconds local time is
// ahead of universal time); without one, or with a zone name, the time is taken
// as local. Returns the local time stamp, or 0 when the text cannot be read
// (no time, a month name not in the list, a day outside 1-31, a year beyond kMaxYear).
std::int64_t parseMailDate(std::string_view text, int localZone);
// The same with this machine's current zone.
std::int64_t parseMailDate(std::string_view text);

}  // namespace qg
