// The code a request mail carries as its Subject: 16 hex digits of the time
// stamp it was written at and 5 of the checksum of its recipient's address.
// The request mails write it; the decision procedure reads it back from the
// Subject of a reply. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qg {

inline constexpr std::size_t kRequestCodeLength = 21;
// A code is looked for where "00E" starts among this many characters of a
// Subject ("00E" leads every stamp of the years this program meets).
inline constexpr std::size_t kRequestCodeSearchLimit = 200;
inline constexpr std::string_view kRequestCodeLead = "00E";
// A code older than this is no longer accepted.
inline constexpr std::int32_t kRequestCodeMaxAgeDays = 3;

// The 20-bit checksum of an address: for each byte c (signed) at position i
// from 0, add ((i + 1) * c) XOR 0xA25A in 32-bit arithmetic; the low 20 bits.
std::uint32_t addressChecksum(std::string_view address);

// "%016llX%05X" of stamp and addressChecksum(recipient): 21 hex digits.
std::string requestCode(std::int64_t stamp, std::string_view recipient);

struct RequestCode {
  std::int64_t stamp = 0;
  std::uint32_t check = 0;  // 20 bits
};

// The code in a Subject: from the first "00E" that starts within its first
// kRequestCodeSearchLimit characters, 16 hex digits of the stamp and 5 of the
// check value (either letter case). nullopt when there is no "00E" there,
// fewer than 21 characters follow from it, or one of them is no hex digit.
std::optional<RequestCode> findRequestCode(std::string_view subject);

// True when stamp is a stamp of the program's calendar (turned into a date
// and back it stays the same), not after now and not more than
// kRequestCodeMaxAgeDays days before it (exactly that old is still in time).
bool requestCodeInTime(std::int64_t stamp, std::int64_t now);

}  // namespace qg
