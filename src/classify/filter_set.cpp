#include "classify/filter_set.h"

#include <algorithm>

#include "classify/sender_split.h"
#include "engine/file_primitives.h"
#include "engine/scrambled_file.h"
#include "text/charsets.h"
#include "text/white_space.h"

namespace qg {

namespace {

// The payload of a list file; nullopt when it could neither be read nor
// replaced by an empty one.
std::optional<std::vector<std::uint8_t>> listPayload(const std::string& listDir,
                                                     std::string_view name) {
  std::vector<std::uint8_t> payload;
  if (loadListPayload(listDir, name, payload) == ListLoad::ReplaceFailed) return std::nullopt;
  return payload;
}

std::uint32_t colourResult(std::uint8_t colour) {
  if (colour == list_colour::kWhite) return kListWhite;
  if (colour == list_colour::kBlack) return kListBlack;
  return 0;
}

const ReceivedHop* firstHop(std::span<const ReceivedHop> hops) {
  const ReceivedHop* first = nullptr;
  for (const ReceivedHop& hop : hops) {
    if (!hop.valid()) break;
    first = &hop;
  }
  return first;
}

const ZoneEntry* zoneFor(const std::vector<ZoneEntry>& zones, std::uint8_t colour,
                         const ReceivedHop& hop) {
  for (const ZoneEntry& zone : zones) {
    if (zone.colour == colour && zone.code == hop.country) return &zone;
  }
  return nullptr;
}

}  // namespace

bool FilterSet::load(const std::string& listDir, std::span<const std::uint8_t> knownSenders) {
  listDir_ = listDir;
  addresses_ = decodeList<AddressEntry>(knownSenders);
  const auto expressions = listPayload(listDir, kExpressionListFile);
  if (!expressions) return false;
  setExpressions(decodeList<ExpressionEntry>(*expressions));
  const auto zones = listPayload(listDir, kCountryZoneListFile);
  if (!zones) return false;
  setZones(decodeList<ZoneEntry>(*zones));
  const auto domains = listPayload(listDir, kDomainListFile);
  if (!domains) return false;
  setDomains(decodeList<DomainEntry>(*domains));
  const auto ranges = listPayload(listDir, kIpCountryListFile);
  setIpCountries(ranges ? decodeList<IpCountryRange>(*ranges) : std::vector<IpCountryRange>());
  return true;
}

void FilterSet::setExpressions(std::vector<ExpressionEntry> entries) {
  expressions_.prepare(std::move(entries));
}

void FilterSet::setDomains(std::vector<DomainEntry> entries) {
  domains_.clear();
  for (DomainEntry& entry : entries) {
    upperCase1251(entry.text);
    squeezeSpaces(entry.text);
    std::reverse(entry.text.begin(), entry.text.end());
    // An empty domain would be a suffix of every address.
    if (!entry.text.empty()) domains_.push_back(std::move(entry));
  }
  std::stable_sort(
      domains_.begin(), domains_.end(), [](const DomainEntry& a, const DomainEntry& b) {
        return std::lexicographical_compare(
            a.text.begin(), a.text.end(), b.text.begin(), b.text.end(), [](char x, char y) {
              return static_cast<std::uint8_t>(x) < static_cast<std::uint8_t>(y);
            });
      });
}

void FilterSet::setIpCountries(std::vector<IpCountryRange> ranges) {
  ipCountries_ = IpCountryList(std::move(ranges));
}

std::uint32_t FilterSet::addressLookup(std::string_view address) const {
  for (const AddressEntry& entry : addresses_) {
    if (sameName(entry.address, address) == 0) return colourResult(entry.colour);
  }
  return 0;
}

std::uint32_t FilterSet::domainLookup(std::string_view address) const {
  const std::size_t at = address.rfind('@');
  const std::string_view domain = at == std::string_view::npos ? address : address.substr(at + 1);
  const std::string reversed(domain.rbegin(), domain.rend());
  for (const DomainEntry& entry : domains_) {
    if (entry.colour != list_colour::kWhite && entry.colour != list_colour::kBlack) continue;
    if (std::string_view(reversed).starts_with(entry.text)) return colourResult(entry.colour);
  }
  return 0;
}

std::uint32_t FilterSet::zoneLookup(std::uint8_t colour, std::span<ReceivedHop> hops) const {
  hopCountries(hops, ipCountries_);
  if (colour == list_colour::kWhite) {
    const ReceivedHop* first = firstHop(hops);
    if (first == nullptr || !first->countryKnown()) return 0;
    const ZoneEntry* zone = zoneFor(zones_, colour, *first);
    return zone ? std::uint32_t{zone->weight} << 16 : 0;
  }
  for (const ReceivedHop& hop : hops) {
    if (!hop.valid()) break;
    if (!hop.countryKnown()) continue;
    if (const ZoneEntry* zone = zoneFor(zones_, colour, hop)) return zone->weight;
  }
  return 0;
}

LearnResult FilterSet::learnAddress(std::string_view fromValue, std::uint8_t colour) {
  const SenderParts sender = splitSender(fromValue);
  if (sender.address.empty()) return LearnResult::NoAddress;
  if (std::any_of(addresses_.begin(), addresses_.end(), [&](const AddressEntry& entry) {
        return sameName(entry.address, sender.address) == 0;
      })) {
    return LearnResult::Known;
  }
  if (sender.address.size() > AddressEntry::kAddressMax) return LearnResult::TooLong;

  AddressEntry entry;
  entry.colour = colour;
  entry.origin = AddressEntry::kLearnedOrigin;
  entry.name = sender.name.substr(0, AddressEntry::kNameMax);
  entry.address = sender.address;
  addresses_.push_back(entry);

  const auto count = static_cast<std::uint32_t>(addresses_.size());
  std::array<std::uint8_t, AddressEntry::kRecordBytes> record{};
  encodeRecord(entry, record);
  std::array<std::uint8_t, kListCountBytes> countWord{};
  setListCount(countWord, count);
  const std::string name(kAddressListFile);
  // A file removed while the worker runs is written whole from the list, so
  // no learned sender is lost.
  if (!fileExists(listDir_ + "/" + name)) {
    return saveListPayload(listDir_, name, encodeList<AddressEntry>(addresses_))
               ? LearnResult::Added
               : LearnResult::NotWritten;
  }
  // The record goes in before the count that claims it, so an interrupted
  // learn never leaves a count pointing past the records.
  const std::uint32_t position =
      static_cast<std::uint32_t>(kListCountBytes + AddressEntry::kRecordBytes * (count - 1));
  if (scrambledPatch(listDir_, name, kListFileKey, position, record) == 0 &&
      scrambledPatch(listDir_, name, kListFileKey, 0, countWord) == 0) {
    return LearnResult::Added;
  }
  // The list stays as long as the file, so the next learn patches the right
  // place; this sender is learned again when it writes next.
  addresses_.pop_back();
  return LearnResult::NotWritten;
}

}  // namespace qg
