// The user's filter lists as the analysis worker holds them: the address
// list (known senders), the expression list with its index, the country-zone
// list, the domain list and the IP-country list, with the lookups the rules
// make and the learning of new senders. One FilterSet per analysis worker,
// loaded when the worker starts and kept until it ends; the analysis thread
// only (the address file is written through the scrambled container's own
// exclusive open).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "classify/expression_index.h"
#include "classify/ip_country_list.h"
#include "classify/received_hop.h"
#include "engine/filter_lists.h"

namespace qg {

// Lookup results: the white half and the black half of a rule's count.
inline constexpr std::uint32_t kListWhite = 0x10000;
inline constexpr std::uint32_t kListBlack = 1;

enum class LearnResult {
  Added,       // the sender is in the list and in "femail.dat"
  Known,       // the list already held the address (in any letter case)
  NoAddress,   // the From value holds no address
  TooLong,     // longer than an entry can hold; learning a cut address would never match
  NotWritten,  // in the list for this run, but "femail.dat" could not be written
};

class FilterSet {
 public:
  // Loads the lists from listDir: the address list from knownSenders (the
  // payload of "femail.dat" the supervisor loaded), the others from their
  // files (a missing or damaged file is replaced by an empty one). False when
  // the expression, zone or domain list could neither be read nor replaced:
  // the caller sets flag 52 and never analyses. The IP-country list failing
  // gives an empty list.
  bool load(const std::string& listDir, std::span<const std::uint8_t> knownSenders);

  // The lists without files, for tools and tests. Expressions and domains
  // are prepared as load prepares them.
  void setAddresses(std::vector<AddressEntry> entries) { addresses_ = std::move(entries); }
  void setExpressions(std::vector<ExpressionEntry> entries);
  void setZones(std::vector<ZoneEntry> entries) { zones_ = std::move(entries); }
  void setDomains(std::vector<DomainEntry> entries);
  void setIpCountries(std::vector<IpCountryRange> ranges);
  // Where learnAddress writes "femail.dat".
  void setListDirectory(std::string listDir) { listDir_ = std::move(listDir); }

  // The first entry whose address equals address under the name comparison
  // decides: kListWhite, kListBlack, or 0 for another colour; 0 when none.
  std::uint32_t addressLookup(std::string_view address) const;

  // The first white or black domain entry (domains sorted by their reversed
  // text) that is a suffix of the part of address behind its last "@" (no
  // label boundary needed; byte-exact, both upper case): kListWhite or
  // kListBlack; 0 when none.
  std::uint32_t domainLookup(std::string_view address) const;

  // Gives the hops their countries first (hopCountries). White: the weight
  // of the first white entry with the country of the first hop (the last
  // valid one), shifted left by 16. Black: the weight of the first black
  // entry with the country of the earliest hop that has one. 0 when none
  // matches (also for a weight of 0).
  std::uint32_t zoneLookup(std::uint8_t colour, std::span<ReceivedHop> hops) const;

  // ExpressionIndex::match over the expressions of field.
  std::uint32_t expressionMatch(std::string_view text, std::size_t field) const {
    return expressions_.match(text, field);
  }

  const IpCountryList& ipCountries() const { return ipCountries_; }

  // Adds the sender of fromValue (splitSender) to the address list with
  // colour, unless the list holds that address already (name comparison),
  // and stores it in "femail.dat": the new record (origin 5, the name cut to
  // 20 characters), then the new count, patched in place; a file that has
  // gone missing is written whole from the list.
  LearnResult learnAddress(std::string_view fromValue, std::uint8_t colour);

  const std::vector<AddressEntry>& addresses() const { return addresses_; }
  const std::vector<ExpressionEntry>& expressions() const { return expressions_.entries(); }
  const std::vector<DomainEntry>& domains() const { return domains_; }

 private:
  std::string listDir_;
  std::vector<AddressEntry> addresses_;
  ExpressionIndex expressions_;
  std::vector<ZoneEntry> zones_;
  std::vector<DomainEntry> domains_;  // upper case, reversed, sorted
  IpCountryList ipCountries_;
};

}  // namespace qg
