#include "engine/filter_lists.h"

#include <algorithm>

#include "engine/file_primitives.h"
#include "engine/mail_store.h"
#include "engine/scrambled_file.h"
#include "text/charsets.h"

namespace qg {

namespace {

// Field layout of the records.
constexpr std::size_t kAddressOriginAt = 1;
constexpr std::size_t kAddressNameAt = 2;
constexpr std::size_t kAddressNameBytes = 21;
constexpr std::size_t kAddressAt = 23;
constexpr std::size_t kAddressBytes = 57;

constexpr std::size_t kExpressionLengthAt = 1;
constexpr std::size_t kExpressionFieldAt = 2;
constexpr std::size_t kExpressionTextAt = 3;
constexpr std::size_t kExpressionTextBytes = 51;
constexpr std::size_t kExpressionWeightAt = 54;
constexpr std::size_t kExpressionReservedAt = 55;

constexpr std::size_t kZoneCodeAt = 4;
constexpr std::size_t kZoneWeightAt = 47;

constexpr std::size_t kDomainLengthAt = 1;
constexpr std::size_t kDomainReservedAt = 2;
constexpr std::size_t kDomainTextAt = 3;
constexpr std::size_t kDomainTextBytes = 31;

constexpr std::size_t kRangeLastAt = 4;
constexpr std::size_t kRangeCodeAt = 8;

// A zero-terminated text field of size bytes at offset: up to its first zero
// and never more than size - 1 bytes, so a field without a zero cannot run
// into the next one.
std::string textField(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size) {
  const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
  const auto end = begin + static_cast<std::ptrdiff_t>(size - 1);
  return std::string(begin, std::find(begin, end, std::uint8_t{0}));
}

// Writes text cut to size - 1 bytes and zero-fills the rest of the field.
void putTextField(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t size,
                  std::string_view text) {
  const std::size_t length = std::min(text.size(), size - 1);
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), size, std::uint8_t{0});
  std::copy_n(text.begin(), length, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::array<char, 2> codeAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return {static_cast<char>(bytes[offset]), static_cast<char>(bytes[offset + 1])};
}

void putCode(std::span<std::uint8_t> bytes, std::size_t offset, const std::array<char, 2>& code) {
  bytes[offset] = static_cast<std::uint8_t>(code[0]);
  bytes[offset + 1] = static_cast<std::uint8_t>(code[1]);
}

std::uint8_t storedLength(std::string_view text, std::size_t limit) {
  return static_cast<std::uint8_t>(std::min(text.size(), limit));
}

}  // namespace

template <>
AddressEntry decodeRecord<AddressEntry>(std::span<const std::uint8_t> bytes) {
  AddressEntry entry;
  entry.colour = bytes[0];
  entry.origin = bytes[kAddressOriginAt];
  entry.name = textField(bytes, kAddressNameAt, kAddressNameBytes);
  entry.address = textField(bytes, kAddressAt, kAddressBytes);
  return entry;
}

template <>
ExpressionEntry decodeRecord<ExpressionEntry>(std::span<const std::uint8_t> bytes) {
  ExpressionEntry entry;
  entry.colour = bytes[0];
  entry.field = bytes[kExpressionFieldAt];
  entry.text = textField(bytes, kExpressionTextAt, kExpressionTextBytes);
  entry.weight = bytes[kExpressionWeightAt];
  std::copy_n(bytes.begin() + kExpressionReservedAt, entry.reserved.size(), entry.reserved.begin());
  return entry;
}

template <>
ZoneEntry decodeRecord<ZoneEntry>(std::span<const std::uint8_t> bytes) {
  ZoneEntry entry;
  std::copy_n(bytes.begin(), ZoneEntry::kRecordBytes, entry.stored.begin());
  entry.colour = bytes[0];
  entry.code = codeAt(bytes, kZoneCodeAt);
  entry.weight = bytes[kZoneWeightAt];
  return entry;
}

template <>
DomainEntry decodeRecord<DomainEntry>(std::span<const std::uint8_t> bytes) {
  DomainEntry entry;
  entry.colour = bytes[0];
  entry.reserved = bytes[kDomainReservedAt];
  entry.text = textField(bytes, kDomainTextAt, kDomainTextBytes);
  return entry;
}

template <>
IpCountryRange decodeRecord<IpCountryRange>(std::span<const std::uint8_t> bytes) {
  IpCountryRange range;
  range.first = loadWord(bytes, 0);
  range.last = loadWord(bytes, kRangeLastAt);
  range.code = codeAt(bytes, kRangeCodeAt);
  return range;
}

void encodeRecord(const AddressEntry& entry, std::span<std::uint8_t> bytes) {
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
  bytes[0] = entry.colour;
  bytes[kAddressOriginAt] = entry.origin;
  putTextField(bytes, kAddressNameAt, kAddressNameBytes, entry.name);
  putTextField(bytes, kAddressAt, kAddressBytes, entry.address);
}

void encodeRecord(const ExpressionEntry& entry, std::span<std::uint8_t> bytes) {
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
  bytes[0] = entry.colour;
  bytes[kExpressionLengthAt] = storedLength(entry.text, ExpressionEntry::kTextMax);
  bytes[kExpressionFieldAt] = entry.field;
  putTextField(bytes, kExpressionTextAt, kExpressionTextBytes, entry.text);
  bytes[kExpressionWeightAt] = entry.weight;
  std::copy(entry.reserved.begin(), entry.reserved.end(), bytes.begin() + kExpressionReservedAt);
}

void encodeRecord(const ZoneEntry& entry, std::span<std::uint8_t> bytes) {
  std::copy(entry.stored.begin(), entry.stored.end(), bytes.begin());
  bytes[0] = entry.colour;
  putCode(bytes, kZoneCodeAt, entry.code);
  bytes[kZoneWeightAt] = entry.weight;
}

void encodeRecord(const DomainEntry& entry, std::span<std::uint8_t> bytes) {
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
  bytes[0] = entry.colour;
  bytes[kDomainLengthAt] = storedLength(entry.text, DomainEntry::kTextMax);
  bytes[kDomainReservedAt] = entry.reserved;
  putTextField(bytes, kDomainTextAt, kDomainTextBytes, entry.text);
}

void encodeRecord(const IpCountryRange& range, std::span<std::uint8_t> bytes) {
  storeWord(bytes, 0, range.first);
  storeWord(bytes, kRangeLastAt, range.last);
  putCode(bytes, kRangeCodeAt, range.code);
}

std::uint32_t listCount(std::span<const std::uint8_t> payload) {
  return payload.size() < kListCountBytes ? 0 : loadWord(payload, 0);
}

void setListCount(std::span<std::uint8_t> payload, std::uint32_t count) {
  storeWord(payload, 0, count);
}

std::optional<std::vector<std::uint8_t>> readListPayload(const std::string& listDir,
                                                         std::string_view name) {
  const std::string fileName(name);
  // The read rejects a file whose header does not fit its size before any
  // payload is decoded, then checks the payload's checksum.
  std::vector<std::uint8_t> payload;
  if (scrambledRead(listDir, fileName, kListFileKey, payload) < 0 ||
      payload.size() < kListCountBytes) {
    return std::nullopt;
  }
  return payload;
}

ListLoad loadListPayload(const std::string& listDir, std::string_view name,
                         std::vector<std::uint8_t>& payload) {
  if (auto stored = readListPayload(listDir, name)) {
    payload = std::move(*stored);
    return ListLoad::Loaded;
  }
  // A damaged list is replaced like a missing one.
  payload.assign(kListCountBytes, 0);
  return saveListPayload(listDir, name, payload) ? ListLoad::Replaced : ListLoad::ReplaceFailed;
}

bool saveListPayload(const std::string& listDir, std::string_view name,
                     std::span<const std::uint8_t> payload) {
  return scrambledWrite(listDir, std::string(name), kListFileKey, payload) == 0;
}

std::optional<std::vector<std::uint8_t>> listForAddition(const std::string& listDir,
                                                         std::string_view name) {
  if (!fileExists(listDir + "/" + std::string(name))) {
    return std::vector<std::uint8_t>(kListCountBytes, 0);
  }
  return readListPayload(listDir, name);
}

bool sameListedAddress(const AddressEntry& listed, const AddressEntry& entry) {
  return sameName(listed.address, entry.address) == 0;
}

bool sameListedExpression(const ExpressionEntry& listed, const ExpressionEntry& entry) {
  return listed.field == entry.field && sameTextIgnoringCase(listed.text, entry.text);
}

}  // namespace qg
