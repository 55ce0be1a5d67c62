// Making a box current for the analysis: its "box.log", its own addresses
// with the mail exchanges found for them (stored in the box settings the
// first time, so the lookups are not made again), and its filter profile.
// The analysis thread, over its own AnalysisContext.
#pragma once

#include <functional>
#include <string>

#include "classify/analysis_context.h"
#include "engine/record_file.h"

namespace qg {

// The mail exchanges of a domain as the resolver gives them: "<address>
// <host> <host>...", empty when none were found.
using MailExchangeLookup = std::function<std::string(const std::string& domain)>;

// A box's own addresses are looked up at most this many times in all.
inline constexpr int kMailExchangeTries = 3;

// Fills the own-address fields of box when field 100 is 0: the addresses
// of ownAddressesFromFields (field 15 and the parts of field 16), from field 101
// on (at most box_field::kMaxOwnAddresses), with no exchanges and no lookups
// yet. Then looks up the exchanges of every own address that has none and
// fewer than kMailExchangeTries tries, counting the try, and stores the host
// names (upper case, at most box_field::kMaxMailExchanges) behind the answer's
// first word. Returns true when a field changed.
bool fillOwnAddresses(RecordFile& box, const MailExchangeLookup& lookup);

// Makes box boxNumber of context.storeDir current: nothing to do when it is
// already. Otherwise loads it as loadBoxContext does (its "box.log", address
// and profile), then fills its own addresses and their exchanges, saving
// "box.log" when they changed. False, with no box current, when
// loadBoxContext fails.
bool selectBox(AnalysisContext& context, int boxNumber, const MailExchangeLookup& lookup);

}  // namespace qg
