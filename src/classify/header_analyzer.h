// The header analyzer: turns one staging file into the parsed message the
// decision procedure works on (line ends, unfolding, header scan with the
// MIME parameters and encoded words, squeezing, body decoding, the field
// values, upper-casing, the Received hops and their local marks), gives the
// sender address, and the first-hop country test. The analysis thread; each
// call works on the caller's ParsedMessage only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "classify/ip_country_list.h"
#include "classify/own_addresses.h"
#include "classify/parsed_message.h"

namespace qg {

// At most this many bytes of a staging file are analysed; the rest of a
// larger file never reaches the rules (it keeps the memory of one parse
// bounded whatever the message).
inline constexpr std::size_t kAnalysedBytesLimit = 64u << 20;

// Reads the staging file at path (record line included) and parses it into
// message. Hops whose sending host ends with the provider domain of one of
// own's mail exchanges, or is named LOCALHOST, are marked local. Returns 1
// when the file was read and parsed, -1 when it is missing, empty or cannot
// be read (message is then empty).
int parseStagingFile(const std::string& path, const OwnAddresses& own, ParsedMessage& message);

// The same for the bytes of a staging file held in memory. -1 for no bytes.
int parseStagingText(std::string_view bytes, const OwnAddresses& own, ParsedMessage& message);

// The bare sender address from the header's "FROM:" line (upper case, as
// the text is): the last word of the value after one trailing blank, one
// ">" and one more blank are dropped, taken behind its last blank or "<".
// Empty when the header has no From line.
std::string senderAddress(const ParsedMessage& message);

// 1 when the two-letter top-level domain of the first hop's host (the last
// valid hop) differs from the country of its address; 0 when there is no
// such hop, it is local, has no address, its name does not end in two
// characters other than digits behind its last "." or is no valid host name,
// or the address has no country.
int firstHopCountryMismatch(const ParsedMessage& message, const IpCountryList& countries);

}  // namespace qg
