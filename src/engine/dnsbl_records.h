// The blocklist work records and the number that names a zone: a request of
// "dnsbl.inf" (182 bytes, written by the decision procedure, taken by the
// DNSBL checker), a result of "dnsbl.inp" (8 bytes, written by the checker,
// taken by the blocklist answer cache) and ZoneSignature, which ties a result
// and a "%08X.dbl" cache file to its zone. Pure functions; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qg {

inline constexpr std::string_view kDnsblRequestFile = "dnsbl.inf";
inline constexpr std::string_view kDnsblResultFile = "dnsbl.inp";

inline constexpr std::size_t kDnsblRequestSize = 182;
inline constexpr std::size_t kDnsblZoneColumns = 50;
inline constexpr std::size_t kDnsblCodeCount = 32;
inline constexpr std::size_t kDnsblResultSize = 8;
// Bit of a result word that says the address is listed in the zone.
inline constexpr std::uint32_t kDnsblListedBit = 0x80000000u;

// The 31-bit number of a zone name (the trimmed text, bytes taken as signed):
// the 32-bit wrapping sum of position (from 1) times byte in bits 0-15, the
// length plus one (mod 256) in bits 16-23, the first byte mod 128 in bits
// 24-30. The empty name gives 0x00010000.
std::uint32_t zoneSignature(std::string_view zone);
// A zone name as a request record carries it back from the checker: trimmed
// of blanks and control bytes, cut to kDnsblZoneColumns bytes, trimmed again. The blocklist
// answers of a zone are stored and looked up under the signature of this.
std::string_view dnsblZoneName(std::string_view zone);

// An IPv4 address as the records hold it: the first octet is the most
// significant byte of the number.
using Ipv4Number = std::uint32_t;

struct DnsblRequest {
  Ipv4Number address = 0;
  std::string zone;                                   // at most kDnsblZoneColumns bytes are written
  std::array<std::uint8_t, kDnsblCodeCount> codes{};  // 0: unused
};

// The 182 request bytes: the address little-endian, the zone right-aligned in
// 50 columns ("%50s"; a longer zone is cut to 50 bytes), the 32 codes as " %3d".
std::array<char, kDnsblRequestSize> encodeDnsblRequest(const DnsblRequest& request);

// Reads a request record. The zone is the 50 columns trimmed of blanks. Empty
// when the record is short or a code field is not a blank-padded decimal
// number from 0 to 255.
std::optional<DnsblRequest> decodeDnsblRequest(std::span<const char> record);

struct DnsblResult {
  Ipv4Number address = 0;
  std::uint32_t word = 0;  // zoneSignature, plus kDnsblListedBit when listed
};

std::array<char, kDnsblResultSize> encodeDnsblResult(const DnsblResult& result);
// Empty when the record is shorter than kDnsblResultSize.
std::optional<DnsblResult> decodeDnsblResult(std::span<const char> record);

// The query name of an address in a zone: the octets last first, then the
// zone ("10.2.0.192.zone" for 192.0.2.10).
std::string dnsblQueryName(Ipv4Number address, std::string_view zone);

// The dotted text of an address ("192.0.2.10").
std::string ipv4Text(Ipv4Number address);
// Reads a dotted IPv4 text (exactly four decimal octets 0-255); empty otherwise.
std::optional<Ipv4Number> parseIpv4(std::string_view text);

}  // namespace qg
