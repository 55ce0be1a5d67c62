// The filter list files of the list directory and their records: the address
// list "femail.dat", the expression list "fexpr.dat", the country-zone list
// "fzon.dat", the domain list "fdomain.dat" and the IP-country list
// "fipcnt.dat". Each payload is a 32-bit little-endian count followed by
// fixed-size records, kept in the scrambled container with no extra key. This
// is the one reader and writer of those records for the analysis, qgctl and
// the list editors. Pure functions, plus whole-file loads and saves that hold
// the file exclusively for one call each (any thread).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/log_table.h"

namespace qg {

inline constexpr std::string_view kAddressListFile = "femail.dat";
inline constexpr std::string_view kExpressionListFile = "fexpr.dat";
inline constexpr std::string_view kCountryZoneListFile = "fzon.dat";
inline constexpr std::string_view kDomainListFile = "fdomain.dat";
inline constexpr std::string_view kIpCountryListFile = "fipcnt.dat";
// The list files are tied to no extra key text.
inline constexpr std::string_view kListFileKey = "";

// Colour of a list entry: white speaks for a message, black against it.
namespace list_colour {
inline constexpr std::uint8_t kWhite = 1;
inline constexpr std::uint8_t kBlack = 2;
}  // namespace list_colour

// Bytes of the count word that starts every payload.
inline constexpr std::size_t kListCountBytes = kLogCountBytes;

// "femail.dat": colour, origin, display name (20 characters) and address (56).
struct AddressEntry {
  static constexpr std::size_t kRecordBytes = 80;
  static constexpr std::size_t kNameMax = 20;
  static constexpr std::size_t kAddressMax = 56;
  // Origin of an address the analysis learned.
  static constexpr std::uint8_t kLearnedOrigin = 5;

  std::uint8_t colour = list_colour::kWhite;
  std::uint8_t origin = 0;
  std::string name;     // Windows-1251, cut to kNameMax when stored
  std::string address;  // cut to kAddressMax when stored
};

// The message fields an expression can be tied to, as the editors show them.
inline constexpr std::size_t kExpressionFieldCount = 10;
inline constexpr std::array<std::string_view, kExpressionFieldCount> kExpressionFieldNames = {
    "All header",
    "Body",
    "From(first record)",
    "From(second record)",
    "Sender(first record)",
    "Sender(second record)",
    "Subject",
    "To(first record)",
    "To(second record)",
    "X-Mailer"};
// The three field indexes the rules consult.
namespace expression_field {
inline constexpr std::uint8_t kHeader = 0;
inline constexpr std::uint8_t kBody = 1;
inline constexpr std::uint8_t kSubject = 6;
}  // namespace expression_field

// "fexpr.dat": colour, text length (written by the loader), field index,
// text (50 characters), weight, and three bytes the analysis never reads.
struct ExpressionEntry {
  static constexpr std::size_t kRecordBytes = 58;
  static constexpr std::size_t kTextMax = 50;

  std::uint8_t colour = list_colour::kWhite;
  std::uint8_t field = 0;
  std::string text;
  std::uint8_t weight = 0;
  std::array<std::uint8_t, 3> reserved{};  // kept as read
};

// "fzon.dat": colour at 0, the upper-case country code at 4-5, the weight at
// 47. The other bytes belong to the list editor and are kept as read.
struct ZoneEntry {
  static constexpr std::size_t kRecordBytes = 51;

  std::uint8_t colour = list_colour::kWhite;
  std::array<char, 2> code{};
  std::uint8_t weight = 0;
  std::array<std::uint8_t, kRecordBytes> stored{};  // the record as read

  std::string_view codeText() const { return {code.data(), code.size()}; }
};

// "fdomain.dat": colour, text length (written by the loader), one byte the
// analysis never reads, the domain text (30 characters).
struct DomainEntry {
  static constexpr std::size_t kRecordBytes = 34;
  static constexpr std::size_t kTextMax = 30;

  std::uint8_t colour = list_colour::kWhite;
  std::uint8_t reserved = 0;  // offset 2, kept as read
  std::string text;
};

// "fipcnt.dat": an address range (first octet most significant, as the hop
// addresses) and its country code. The file keeps ranges in ascending order
// of their first address.
struct IpCountryRange {
  static constexpr std::size_t kRecordBytes = 10;

  std::uint32_t first = 0;
  std::uint32_t last = 0;
  std::array<char, 2> code{};

  std::string_view codeText() const { return {code.data(), code.size()}; }
};

// One record from its bytes (exactly kRecordBytes) and back. A text field
// ends at its first zero byte and holds at most its field's size less one
// byte; a longer text is cut when written.
template <typename Entry>
Entry decodeRecord(std::span<const std::uint8_t> bytes);
template <>
AddressEntry decodeRecord<AddressEntry>(std::span<const std::uint8_t> bytes);
template <>
ExpressionEntry decodeRecord<ExpressionEntry>(std::span<const std::uint8_t> bytes);
template <>
ZoneEntry decodeRecord<ZoneEntry>(std::span<const std::uint8_t> bytes);
template <>
DomainEntry decodeRecord<DomainEntry>(std::span<const std::uint8_t> bytes);
template <>
IpCountryRange decodeRecord<IpCountryRange>(std::span<const std::uint8_t> bytes);
void encodeRecord(const AddressEntry& entry, std::span<std::uint8_t> bytes);
void encodeRecord(const ExpressionEntry& entry, std::span<std::uint8_t> bytes);
void encodeRecord(const ZoneEntry& entry, std::span<std::uint8_t> bytes);
void encodeRecord(const DomainEntry& entry, std::span<std::uint8_t> bytes);
void encodeRecord(const IpCountryRange& entry, std::span<std::uint8_t> bytes);

// The count word of a payload; 0 when it is shorter than the word.
std::uint32_t listCount(std::span<const std::uint8_t> payload);
// Writes the count word (payload holds at least kListCountBytes).
void setListCount(std::span<std::uint8_t> payload, std::uint32_t count);

// The records of a payload (a table of Entry::kRecordBytes records). A count
// larger than the records the payload holds reads as the whole records
// present (a damaged count never reads past the payload).
template <typename Entry>
std::vector<Entry> decodeList(std::span<const std::uint8_t> payload) {
  const LogTable table = LogTable::fromBytes(payload, Entry::kRecordBytes);
  std::vector<Entry> entries;
  entries.reserve(table.count());
  for (std::size_t k = 0; k < table.count(); ++k) {
    entries.push_back(decodeRecord<Entry>(table.record(k)));
  }
  return entries;
}

// The payload of entries: their count and their records.
template <typename Entry>
std::vector<std::uint8_t> encodeList(std::span<const Entry> entries) {
  LogTable table(Entry::kRecordBytes);
  for (const Entry& entry : entries) encodeRecord(entry, table.append());
  return {table.bytes().begin(), table.bytes().end()};
}

// Appends entry to payload, keeping the records present byte for byte
// (bytes behind the last whole counted record go) and raising the count.
template <typename Entry>
void appendListRecord(std::vector<std::uint8_t>& payload, const Entry& entry) {
  LogTable table = LogTable::fromBytes(payload, Entry::kRecordBytes);
  encodeRecord(entry, table.append());
  payload.assign(table.bytes().begin(), table.bytes().end());
}

enum class ListLoad {
  Loaded,         // the file was valid; the payload holds it
  Replaced,       // missing or damaged: an empty list, written as a new file
  ReplaceFailed,  // as Replaced, but the new file could not be written
};

// Fills payload from the list file name in listDir. A file that is missing,
// whose header does not match its size, whose checksum fails, or whose
// payload is shorter than the count word is replaced by the empty list: the
// payload becomes the 4-byte count 0 and is written as a new file. payload
// always holds at least the count word afterwards.
ListLoad loadListPayload(const std::string& listDir, std::string_view name,
                         std::vector<std::uint8_t>& payload);

// The payload of the list file, or nullopt when it is missing or damaged (as
// above). Never creates or changes the file.
std::optional<std::vector<std::uint8_t>> readListPayload(const std::string& listDir,
                                                         std::string_view name);

// Writes payload as the whole list file. True on success.
bool saveListPayload(const std::string& listDir, std::string_view name,
                     std::span<const std::uint8_t> payload);

// The payload an addition starts from: the stored one, or the empty list when
// the file is missing; nullopt when it is damaged (tools never replace a
// damaged list, the analysis does at its start).
std::optional<std::vector<std::uint8_t>> listForAddition(const std::string& listDir,
                                                         std::string_view name);

enum class ListAddition {
  Added,
  AlreadyListed,  // an entry the caller takes for the same is listed
  Damaged,        // the file is damaged and was left alone
  WriteFailed,
};

// When an entry counts as listed already (a second one is not added): an
// address equal letter case aside, as the analysis compares addresses; an
// expression of the same field with the same text, letter case aside.
bool sameListedAddress(const AddressEntry& listed, const AddressEntry& entry);
bool sameListedExpression(const ExpressionEntry& listed, const ExpressionEntry& entry);

// Appends entry to the list file name in listDir (the records present stay
// byte for byte) unless isSame(listed entry) holds for an entry; the first
// such entry is then copied to *listed when listed is not null.
template <typename Entry, typename Same>
ListAddition addListEntry(const std::string& listDir, std::string_view name, const Entry& entry,
                          Same isSame, Entry* listed = nullptr) {
  std::optional<std::vector<std::uint8_t>> payload = listForAddition(listDir, name);
  if (!payload) return ListAddition::Damaged;
  for (const Entry& present : decodeList<Entry>(*payload)) {
    if (!isSame(present)) continue;
    if (listed != nullptr) *listed = present;
    return ListAddition::AlreadyListed;
  }
  appendListRecord(*payload, entry);
  return saveListPayload(listDir, name, *payload) ? ListAddition::Added : ListAddition::WriteFailed;
}

}  // namespace qg
