#include "classify/ip_country_list.h"

#include <algorithm>

namespace qg {

IpCountryList::IpCountryList(std::vector<IpCountryRange> ranges) : ranges_(std::move(ranges)) {
  reach_.reserve(ranges_.size());
  Ipv4Number reach = 0;
  for (std::size_t i = 0; i < ranges_.size(); ++i) {
    if (i > 0 && ranges_[i].first < ranges_[i - 1].first) ascending_ = false;
    reach = std::max(reach, ranges_[i].last);
    reach_.push_back(reach);
  }
}

std::optional<std::array<char, 2>> IpCountryList::find(Ipv4Number address) const {
  if (!ascending_) {
    for (const IpCountryRange& range : ranges_) {
      if (range.first > address) break;
      if (address <= range.last) return range.code;
    }
    return std::nullopt;
  }
  // Every range before the first that begins above address begins at or
  // below it; the walk's answer is the earliest of them that reaches it,
  // which is where the running maximum of the last addresses first does.
  const auto end = std::upper_bound(
      ranges_.begin(), ranges_.end(), address,
      [](Ipv4Number value, const IpCountryRange& range) { return value < range.first; });
  const auto count = static_cast<std::ptrdiff_t>(end - ranges_.begin());
  const auto reached = std::lower_bound(reach_.begin(), reach_.begin() + count, address);
  if (reached == reach_.begin() + count) return std::nullopt;
  return ranges_[static_cast<std::size_t>(reached - reach_.begin())].code;
}

void hopCountries(std::span<ReceivedHop> hops, const IpCountryList& countries) {
  for (ReceivedHop& hop : hops) {
    if (!hop.valid() || (hop.marks & hop_mark::kCountryLookedUp)) break;
    hop.marks |= hop_mark::kCountryLookedUp;
    if (hop.local() || !hop.hasFromAddress()) continue;
    if (const auto code = countries.find(hop.fromAddress)) {
      hop.country = *code;
      hop.marks |= hop_mark::kCountryKnown;
    }
  }
}

}  // namespace qg
