// The address rule used for boxes, the setup and the address lists: which
// texts count as a mail address. Pure functions on the caller's text; any
// thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qg {

// Limits of the rule.
inline constexpr std::size_t kMinLocalPart = 2;
inline constexpr std::size_t kMaxLocalPart = 39;
inline constexpr std::size_t kMaxDomain = 29;
// Longest text validHostName accepts.
inline constexpr std::size_t kMaxHostName = 45;

// True when text is a host name the rules accept: 1 to 45 ASCII letters,
// digits, "-", "_" or ".", at least one "." and at least one character that
// is neither a digit nor a "." (so a dotted IPv4 address is not a host name).
bool validHostName(std::string_view text);

// Trims text in place: bytes at or below 0x20 go from both ends and every
// inner run of them becomes one space.
void trimAddressText(std::string& text);

// Trims text in place (as above) and tells whether it is a valid address: a
// local part before the first "@" of 2 to 39 ASCII letters, digits, "-", "_"
// or "."; a domain behind it of 1 to 29 characters that is "localhost" (any
// letter case) or made of those characters with at least one "." and at
// least one character that is neither a digit nor a "." (validHostName). The trimmed text
// stays in text whatever the result.
bool isValidAddress(std::string& text);

}  // namespace qg
