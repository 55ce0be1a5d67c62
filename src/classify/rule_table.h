// The rules of a filter profile as the decision procedure runs them, read
// out of the profile's record file once instead of field by field for every
// message: each rule's type, mode, weight, limits, blocklist zone and codes,
// and the verdict words its options blocks give; the profile's default
// verdict. Part of the analysis context; the thread that owns it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dnsbl_records.h"
#include "engine/filter_profile.h"
#include "engine/record_file.h"

namespace qg {

struct RuleEntry {
  ProfileRule rule;
  std::uint8_t mode = 0;
  std::uint8_t weight = 0;
  std::uint32_t sizeLimit = 0;  // bytes; 0 = off (type 11)
  std::uint8_t lowBound = 0;    // type 15
  std::uint8_t highBound = 0;
  std::string zone;  // blocklist types
  std::array<std::uint8_t, kDnsblCodeCount> codes{};
  // verdict(s, class) of the three options blocks: class, tag and option bits.
  std::uint32_t notSpam = 0;
  std::uint32_t undetermined = 0;
  std::uint32_t spam = 0;
};

// verdict(s, class): the options block at field s of profile (s gives bit
// 4, s + 2 to s + 6 bits 5 to 9; an option is a flag, or a byte that is not
// 0), the tag s / 100 in bits 12-19, and cls.
std::uint32_t profileVerdict(const RecordFile& profile, std::uint32_t s, std::uint32_t cls);

class RuleTable {
 public:
  // Reads the rules (profileRules) and the default of profile, unless the
  // table was last read from a profile with the very same fields.
  void update(const RecordFile& profile);

  const std::vector<RuleEntry>& rules() const { return rules_; }
  // verdict(400, class of field 410).
  std::uint32_t defaultVerdict() const { return defaultVerdict_; }

 private:
  std::vector<std::uint8_t> source_;  // the payload the table was read from
  bool read_ = false;
  std::vector<RuleEntry> rules_;
  std::uint32_t defaultVerdict_ = 0;
};

}  // namespace qg
