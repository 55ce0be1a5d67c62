#include "classify/rule_table.h"

#include "classify/verdict.h"

namespace qg {

namespace {

namespace pf = profile_field;
namespace rf = rule_field;

// Bits of an options block, by offset from the block's field.
constexpr struct {
  std::uint32_t offset;
  std::uint32_t bit;
} kOptionBits[] = {
    {0, verdict::kSound},       {2, verdict::kNotice},    {3, verdict::kQuarantine},
    {4, verdict::kMarkSubject}, {5, verdict::kAddHeader}, {6, verdict::kSendRequest},
};

RuleEntry readRule(const RecordFile& profile, const ProfileRule& rule) {
  const std::uint32_t base = rule.base();
  RuleEntry entry;
  entry.rule = rule;
  entry.mode = profile.getByte(base + rf::kMode);
  entry.weight = profile.getByte(base + rf::kWeight);
  entry.sizeLimit = static_cast<std::uint32_t>(
                        static_cast<std::uint16_t>(profile.getShort(base + rf::kSizeLimit))) *
                    1000u;
  entry.lowBound = profile.getByte(base + rf::kLowBound);
  entry.highBound = profile.getByte(base + rf::kHighBound);
  if (rule.type >= kFirstBlocklistType) {
    entry.zone = profile.getText(base + rf::kZoneHost);
    for (std::uint32_t k = 0; k < kDnsblCodeCount; ++k) {
      entry.codes[k] = profile.getByte(base + rf::kZoneCodes + k);
    }
  }
  entry.notSpam = profileVerdict(profile, base + rf::kNotSpamOptions, verdict::kNotSpam);
  entry.undetermined =
      profileVerdict(profile, base + rf::kUndeterminedOptions, verdict::kUndetermined);
  entry.spam = profileVerdict(profile, base + rf::kSpamOptions, verdict::kSpam);
  return entry;
}

}  // namespace

std::uint32_t profileVerdict(const RecordFile& profile, std::uint32_t s, std::uint32_t cls) {
  std::uint32_t word = cls | ((s / 100) << verdict::kRuleTagShift);
  for (const auto& option : kOptionBits) {
    const std::uint32_t field = s + option.offset;
    if (profile.getFlag(field) || profile.getByte(field) != 0) word |= option.bit;
  }
  return word;
}

void RuleTable::update(const RecordFile& profile) {
  if (read_ && profile.payload() == source_) return;
  source_ = profile.payload();
  read_ = true;
  rules_.clear();
  for (const ProfileRule& rule : profileRules(profile)) rules_.push_back(readRule(profile, rule));
  const std::uint8_t c = profile.getByte(pf::kDefaultClass);
  defaultVerdict_ = profileVerdict(profile, pf::kDefaultOptions,
                                   c == 0   ? verdict::kNotSpam
                                   : c == 1 ? verdict::kUndetermined
                                            : verdict::kSpam);
}

}  // namespace qg
