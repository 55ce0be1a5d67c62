#include "engine/dnsbl_records.h"

#include <cstdio>

namespace qg {

namespace {

constexpr std::size_t kCodeColumns = 4;

void putWord(char* out, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((word >> (8 * i)) & 0xFF);
}

std::uint32_t getWord(const char* in) {
  std::uint32_t word = 0;
  for (int i = 0; i < 4; ++i)
    word |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
  return word;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A decimal number 0-255 with nothing else but blanks around it.
std::optional<std::uint8_t> parseCode(std::string_view field) {
  const std::string_view digits = trimBlanks(field);
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 255) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

// Profile texts: blanks and control bytes around a zone name are dropped.
std::string_view trimSpaceAndControls(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string_view dnsblZoneName(std::string_view zone) {
  return trimSpaceAndControls(trimSpaceAndControls(zone).substr(0, kDnsblZoneColumns));
}

std::uint32_t zoneSignature(std::string_view zone) {
  std::uint32_t sum = 0;
  std::uint32_t position = 1;
  for (char c : zone) {
    sum += position++ *
           static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
  }
  std::uint32_t signature = sum & 0xFFFFu;
  signature |= static_cast<std::uint32_t>((zone.size() + 1) & 0xFF) << 16;
  if (!zone.empty()) {
    signature |= (static_cast<std::uint32_t>(static_cast<unsigned char>(zone.front())) & 0x7F)
                 << 24;
  }
  return signature & 0x7FFFFFFFu;
}

std::array<char, kDnsblRequestSize> encodeDnsblRequest(const DnsblRequest& request) {
  std::array<char, kDnsblRequestSize> record;
  record.fill(' ');
  putWord(record.data(), request.address);
  const std::string_view zone = std::string_view(request.zone).substr(0, kDnsblZoneColumns);
  std::copy(zone.begin(), zone.end(), record.begin() + 4 + (kDnsblZoneColumns - zone.size()));
  char* codes = record.data() + 4 + kDnsblZoneColumns;
  for (std::size_t i = 0; i < kDnsblCodeCount; ++i) {
    char field[8];
    std::snprintf(field, sizeof field, " %3u", static_cast<unsigned>(request.codes[i]));
    std::copy(field, field + kCodeColumns, codes + i * kCodeColumns);
  }
  return record;
}

std::optional<DnsblRequest> decodeDnsblRequest(std::span<const char> record) {
  if (record.size() < kDnsblRequestSize) return std::nullopt;
  DnsblRequest request;
  request.address = getWord(record.data());
  request.zone = std::string(trimBlanks(std::string_view(record.data() + 4, kDnsblZoneColumns)));
  const char* codes = record.data() + 4 + kDnsblZoneColumns;
  for (std::size_t i = 0; i < kDnsblCodeCount; ++i) {
    const auto code = parseCode(std::string_view(codes + i * kCodeColumns, kCodeColumns));
    if (!code) return std::nullopt;
    request.codes[i] = *code;
  }
  return request;
}

std::array<char, kDnsblResultSize> encodeDnsblResult(const DnsblResult& result) {
  std::array<char, kDnsblResultSize> record{};
  putWord(record.data(), result.address);
  putWord(record.data() + 4, result.word);
  return record;
}

std::optional<DnsblResult> decodeDnsblResult(std::span<const char> record) {
  if (record.size() < kDnsblResultSize) return std::nullopt;
  return DnsblResult{getWord(record.data()), getWord(record.data() + 4)};
}

std::string ipv4Text(Ipv4Number address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string dnsblQueryName(Ipv4Number address, std::string_view zone) {
  std::string name = std::to_string(address & 0xFF) + "." + std::to_string((address >> 8) & 0xFF) +
                     "." + std::to_string((address >> 16) & 0xFF) + "." +
                     std::to_string(address >> 24) + ".";
  name += zone;
  return name;
}

std::optional<Ipv4Number> parseIpv4(std::string_view text) {
  Ipv4Number address = 0;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (text.empty() || text.front() != '.') return std::nullopt;
      text.remove_prefix(1);
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[digits] - '0');
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
    text.remove_prefix(digits);
    address = (address << 8) | value;
  }
  if (!text.empty()) return std::nullopt;
  return address;
}

}  // namespace qg
