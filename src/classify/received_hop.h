// One hop of a message's Received chain as the rules see it: the sending
// host's name, comment and address, the receiving host, the envelope
// recipient, the hop's time in universal time, and the marks that the local
// test, the country lookup and the blocklist rules set on it. The reader
// takes one upper-cased, unfolded Received line. Pure functions; the
// analysis thread (any thread may call them on its own text).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/dnsbl_records.h"

namespace qg {

// Marks of a hop.
namespace hop_mark {
inline constexpr std::uint16_t kValid = 0x1;
inline constexpr std::uint16_t kLocal = 0x2;  // inside the user's provider, or LOCALHOST
inline constexpr std::uint16_t kCountryLookedUp = 0x4;
inline constexpr std::uint16_t kCountryKnown = 0x8;
inline constexpr std::uint16_t kBlocklistAnswered = 0x10;  // answered, not listed
inline constexpr std::uint16_t kBlocklistListed = 0x20;
}  // namespace hop_mark

// Text limits of the hop fields (their buffers less the terminator).
inline constexpr std::size_t kHopNameLimit = 69;
inline constexpr std::size_t kHopFromCommentLimit = 71;
inline constexpr std::size_t kHopByCommentLimit = 69;
inline constexpr std::size_t kHopAddressTextLimit = 99;
inline constexpr std::size_t kHopForAddressLimit = 49;
// At most this many characters of a Received line are read.
inline constexpr std::size_t kReceivedLineLimit = 1023;
// The address of a hop whose bracketed address is missing or unreadable.
inline constexpr Ipv4Number kNoHopAddress = 0xFFFFFFFFu;

struct ReceivedHop {
  std::uint16_t marks = 0;
  std::string fromName;
  std::string fromComment;
  Ipv4Number fromAddress = 0;  // first octet most significant; 0 or kNoHopAddress: none
  std::string byName;
  std::string byComment;
  Ipv4Number byAddress = 0;
  std::string forAddress;
  std::array<char, 2> country{};  // set with kCountryKnown
  std::int64_t stamp = 0;         // universal time of the hop; 0 when it has none

  bool valid() const { return marks & hop_mark::kValid; }
  bool local() const { return marks & hop_mark::kLocal; }
  bool countryKnown() const { return marks & hop_mark::kCountryKnown; }
  // True when fromAddress holds an address.
  bool hasFromAddress() const { return fromAddress != 0 && fromAddress != kNoHopAddress; }
  std::string_view countryText() const {
    return countryKnown() ? std::string_view(country.data(), country.size()) : std::string_view();
  }
};

// Reads the text of one Received line behind "RECEIVED:" (upper case, line
// end excluded; only the first kReceivedLineLimit characters count). A hop
// needs "FROM " and a " BY " behind it, otherwise nullopt. The from part
// (between them) and the by part (behind " BY " up to the first " WITH ",
// " ID " or " FOR ", or the line end) are read by the token reader: the
// first word is the name, the last word inside parentheses the comment, the
// word inside square brackets the address (a dotted IPv4 address, otherwise
// kNoHopAddress). The envelope recipient follows "FOR " (one blank, "<" and
// blank skipped). The time is readHopTime's. The hop comes back with kValid
// set and no other mark.
std::optional<ReceivedHop> readReceivedLine(std::string_view line);

// The time of a Received line, as a time stamp in universal time: the first
// "hh:mm:ss" (at least 8 characters before the line end), with the date
// "d MON yyyy" in the 12 characters before it (one leading blank skipped) and
// an optional zone "+hhmm" or "-hhmm" after a blank; the fields are
// normalised into a stamp. 0 when any part is missing or out of range (day
// 1-31, the English month abbreviations in upper case, year 1900-2500).
std::int64_t readHopTime(std::string_view line);

}  // namespace qg
