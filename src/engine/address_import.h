// Importing an address list from a text file into the address list
// ("femail.dat" entries): every run of characters around an at-sign that is
// a valid address becomes an entry named after the text before it on its
// line. Shared by qgctl and the address-list editor. Pure function over the
// caller's text and list; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/filter_lists.h"

namespace qg {

// Lines are read in pieces of at most this many bytes (a longer line goes on
// in the next piece).
inline constexpr std::size_t kImportLineLimit = 999;
// A run of characters around an at-sign longer than this is no candidate.
inline constexpr std::size_t kImportCandidateLimit = 99;

struct AddressImportResult {
  std::size_t added = 0;
  // Set when a line held a control character other than tab, CR or LF: the
  // import stopped there (1-based line piece number); what came before stays.
  std::optional<std::size_t> stoppedAtLine;
};

// Imports text into list. A candidate is a run of at most
// kImportCandidateLimit bytes holding an "@", bounded on each side by the
// line's ends, a blank (space, tab, CR, LF) or one of "<>,/\|#$%*;". It is
// added with the given colour (origin 0) when it passes isValidAddress, fits
// the entry's kAddressMax characters and is not yet in list byte for byte
// (entries added before it count). Its name is the text before it on the
// line, trimmed of blanks, those delimiters and double quotes (so
// '"Jane Roe" <jane@example.org>' is named Jane Roe); it is cut to kNameMax
// when stored. Returns the number added and where a control character
// stopped the import.
AddressImportResult importAddressList(std::string_view text, std::uint8_t colour,
                                      std::vector<AddressEntry>& list);

}  // namespace qg
