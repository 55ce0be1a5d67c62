// The IP-country list ("fipcnt.dat") as the analysis searches it, and the
// country of each Received hop. Built once when the analysis worker loads its
// filter set and only read afterwards; the analysis thread.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "classify/received_hop.h"
#include "engine/filter_lists.h"

namespace qg {

class IpCountryList {
 public:
  IpCountryList() = default;
  explicit IpCountryList(std::vector<IpCountryRange> ranges);

  // The code of the first range, in list order, with first <= address <=
  // last; the walk gives up at the first range that begins above address.
  // nullopt when none holds it. A list in ascending order (as the file keeps
  // it) is searched by halving with the same result.
  std::optional<std::array<char, 2>> find(Ipv4Number address) const;


 private:
  std::vector<IpCountryRange> ranges_;
  // For a list in ascending order: the largest last address of ranges 0..i.
  std::vector<Ipv4Number> reach_;
  bool ascending_ = true;
};

// Gives every valid hop its country once: in order, up to the first hop
// already looked up, each hop is marked looked up and, when it is not local
// and has an address, gets the country of that address (kCountryKnown).
void hopCountries(std::span<ReceivedHop> hops, const IpCountryList& countries);

}  // namespace qg
