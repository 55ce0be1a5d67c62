#include "engine/filter_profile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>

#include "platform/file.h"
#include "platform/file_listing.h"
#include "text/charsets.h"

namespace qg {

namespace {

namespace pf = profile_field;
namespace rf = rule_field;

constexpr std::string_view kRuleTypeTexts[kFirstBlocklistType] = {
    "Sender in the white address list",
    "Country of the first relay in the white zone list",
    "Subject in the white expressions",
    "Sender domain in the white domain list",
    "Sender in the black address list",
    "Country of a relay in the black zone list",
    "Subject in the black expressions",
    "Header in the black expressions",
    "None of my addresses in To or Cc",
    "Relay host name and address in different countries",
    "Invalid sender address",
    "Message larger than the size limit",
    "Sender domain in the black domain list",
    "Body in the white expressions",
    "Body in the black expressions",
    "Score outside the bounds",
};

// Rule types of the built-in profiles, in the order they are added.
constexpr std::initializer_list<std::uint8_t> kStandart1Rules = {0,  4, 5, 12, 8,  9, 10,
                                                                 11, 6, 7, 16, 17, 14};
constexpr std::initializer_list<std::uint8_t> kStandart2Rules = {0, 4, 5, 12, 8, 9, 10};
constexpr std::initializer_list<std::uint8_t> kStandart3Rules = {0, 4, 5, 12, 8, 9, 10};

constexpr std::uint8_t kSubjectMarkerPosition = 0;
constexpr std::uint8_t kHoldDays[3] = {5, 3, 1};
constexpr std::uint8_t kDefaultWeight = 1;
constexpr std::int16_t kDefaultSizeLimit = 1000;  // thousands of bytes
constexpr std::uint8_t kDefaultLowBound = 5;
constexpr std::uint8_t kDefaultHighBound = 7;
constexpr std::uint8_t kScoreLowBound = 0;

constexpr std::string_view kProfilePrefix = "f_";
constexpr std::string_view kProfileSuffix = ".log";

bool isBlocklistType(std::uint8_t type) {
  return type >= kFirstBlocklistType;
}

// A byte of the rule layout, with a missing field (or one of another type)
// read as 255 so that a damaged profile ends its list instead of naming rule 0.
std::uint8_t layoutByte(const RecordFile& profile, std::uint32_t field) {
  return profile.typeOf(field) == FieldType::Byte ? profile.getByte(field) : kNoRule;
}

bool isProfileFileName(std::string_view name) {
  return name.size() >= kProfilePrefix.size() + kProfileSuffix.size() &&
         name.substr(0, kProfilePrefix.size()) == kProfilePrefix &&
         name.substr(name.size() - kProfileSuffix.size()) == kProfileSuffix;
}

std::string profileFileName(int number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "f_%04d.log", number);
  return buffer;
}

// One field write of a planned change, checked before anything is written.
struct FieldWrite {
  std::uint32_t field;
  FieldType type;
  std::int64_t number;
  std::string text;
};

FieldWrite byteWrite(std::uint32_t field, std::uint8_t value) {
  return {field, FieldType::Byte, value, {}};
}
FieldWrite flagWrite(std::uint32_t field, bool value) {
  return {field, FieldType::Flag, value ? 1 : 0, {}};
}
FieldWrite shortWrite(std::uint32_t field, std::int16_t value) {
  return {field, FieldType::Short, value, {}};
}
FieldWrite textWrite(std::uint32_t field, std::string value) {
  return {field, FieldType::Text, 0, std::move(value)};
}

bool fits(const RecordFile& profile, const std::vector<FieldWrite>& writes) {
  return std::all_of(writes.begin(), writes.end(), [&](const FieldWrite& write) {
    const std::optional<FieldType> stored = profile.typeOf(write.field);
    return !stored || *stored == write.type;
  });
}

void apply(RecordFile& profile, const std::vector<FieldWrite>& writes) {
  for (const FieldWrite& write : writes) {
    switch (write.type) {
      case FieldType::Text:
        profile.setText(write.text, write.field);
        break;
      case FieldType::Flag:
        profile.setFlag(write.number != 0, write.field);
        break;
      case FieldType::Byte:
        profile.setByte(static_cast<std::uint8_t>(write.number), write.field);
        break;
      case FieldType::Short:
        profile.setShort(static_cast<std::int16_t>(write.number), write.field);
        break;
      case FieldType::Int:
        profile.setInt(static_cast<std::int32_t>(write.number), write.field);
        break;
      case FieldType::Int64:
        profile.setInt64(write.number, write.field);
        break;
    }
  }
}

// The mode a new rule starts with; nullopt for the types that have none.
std::optional<std::uint8_t> newRuleMode(std::uint8_t type) {
  if (type == 11 || type == kScoreRuleType) return std::nullopt;
  if (type <= 3) return 0;   // white: a match decides "Not spam"
  if (type == 13) return 3;  // body white: subtracts from the score
  return 2;                  // black and blocklist: a match decides "Spam"
}

// Whether a new rule quarantines what it finds to be spam (base + 73, the
// quarantine bit of its spam options block).
bool newRuleQuarantinesSpam(std::uint8_t type) {
  return type == 6 || type == 7 || type == 11 || type == 14 || type == kScoreRuleType ||
         isBlocklistType(type);
}

std::vector<FieldWrite> newRuleWrites(std::size_t slot, std::uint8_t number, std::uint8_t type,
                                      const ZoneTable& zones) {
  const auto i = static_cast<std::uint32_t>(slot);
  const std::uint32_t base = ruleBase(number);
  const bool blocklist = isBlocklistType(type);
  std::vector<FieldWrite> writes = {
      byteWrite(pf::kSlotRule + i, number),
      byteWrite(pf::kSlotType + i, type),
      byteWrite(pf::kRunOrder + i, number),
  };
  if (const std::optional<std::uint8_t> mode = newRuleMode(type)) {
    writes.push_back(byteWrite(base + rf::kMode, *mode));
  }
  const bool score = type == kScoreRuleType;
  writes.push_back(byteWrite(base + rf::kWeight, kDefaultWeight));
  writes.push_back(shortWrite(base + rf::kSizeLimit, kDefaultSizeLimit));
  writes.push_back(byteWrite(base + rf::kLowBound, score ? kScoreLowBound : kDefaultLowBound));
  writes.push_back(byteWrite(base + rf::kHighBound, kDefaultHighBound));
  writes.push_back(textWrite(base + rf::kDisplayText, ruleTypeText(type, zones)));
  writes.push_back(byteWrite(base + rf::kIsBlocklist, blocklist ? 1 : 0));
  if (blocklist) {
    const ZoneSlot& zone = zones.slots[type - kFirstBlocklistType];
    writes.push_back(textWrite(base + rf::kZoneHost, zone.host));
    for (std::uint32_t k = 0; k < kZoneCodes; ++k) {
      writes.push_back(byteWrite(base + rf::kZoneCodes + k, zone.codes[k]));
    }
  }
  for (const std::uint32_t block :
       {rf::kNotSpamOptions, rf::kUndeterminedOptions, rf::kSpamOptions}) {
    writes.push_back(flagWrite(base + block, false));
  }
  for (const std::uint32_t block :
       {rf::kNotSpamOptions, rf::kUndeterminedOptions, rf::kSpamOptions}) {
    writes.push_back(textWrite(base + block + 1, ""));
  }
  for (const std::uint32_t block :
       {rf::kNotSpamOptions, rf::kUndeterminedOptions, rf::kSpamOptions}) {
    for (std::uint32_t k = 2; k <= 5; ++k) {
      const bool on = block == rf::kSpamOptions && k == 3 && newRuleQuarantinesSpam(type);
      writes.push_back(flagWrite(base + block + k, on));
    }
  }
  writes.push_back(flagWrite(base + rf::kUndeterminedOptions + 6, false));
  return writes;
}

std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Drops a trailing "[" digits "]" (one digit at least).
void dropCountSuffix(std::string& name) {
  if (name.size() < 3 || name.back() != ']') return;
  std::size_t open = name.size() - 1;
  while (open > 0 && name[open - 1] >= '0' && name[open - 1] <= '9') --open;
  if (open == 0 || open == name.size() - 1 || name[open - 1] != '[') return;
  name.resize(open - 1);
}

}  // namespace

std::vector<ProfileRule> profileRules(const RecordFile& profile) {
  std::vector<ProfileRule> rules;
  for (std::size_t i = 0; i < kRuleSlots; ++i) {
    const auto slot = static_cast<std::uint32_t>(i);
    const std::uint8_t number = layoutByte(profile, pf::kRunOrder + slot);
    if (number == kNoRule || number > 99) break;
    if (layoutByte(profile, pf::kSlotRule + slot) == kNoRule) break;
    if (profile.typeOf(pf::kSlotType + slot) != FieldType::Byte) break;
    rules.push_back({i, number, profile.getByte(pf::kSlotType + slot)});
  }
  return rules;
}

int builtinProfileNumber(std::string_view name) {
  std::string upper(name);
  upperCase1251(upper);
  for (int n = 0; n < 3; ++n) {
    std::string builtin(kBuiltinProfileNames[n]);
    upperCase1251(builtin);
    if (upper == builtin) return n + 1;
  }
  return 0;
}

std::string ruleTypeText(std::uint8_t type, const ZoneTable& zones) {
  if (type < kFirstBlocklistType) return std::string(kRuleTypeTexts[type]);
  if (type > kLastRuleType) return {};
  const ZoneSlot& zone = zones.slots[type - kFirstBlocklistType];
  return zone.host.empty() ? std::string() : zoneChoiceText(zone);
}

void resetProfile(RecordFile& profile, int builtin) {
  std::array<std::string, 4> dialTexts;
  for (std::uint32_t k = 0; k < dialTexts.size(); ++k) {
    dialTexts[k] = profile.getText(pf::kDialFirst + k);
  }
  const bool dialFlag = profile.getFlag(pf::kDialFlag);
  const std::uint8_t dialByte =
      profile.typeOf(pf::kDialByte) == FieldType::Byte ? profile.getByte(pf::kDialByte) : 1;

  profile.clear();
  for (std::uint32_t k = 0; k < dialTexts.size(); ++k) {
    profile.setText(dialTexts[k], pf::kDialFirst + k);
  }
  profile.setFlag(dialFlag, pf::kDialFlag);
  profile.setByte(dialByte, pf::kDialByte);

  for (const std::uint32_t field : {400u, 402u, 403u, 404u, 405u, 406u}) {
    profile.setFlag(false, field);
  }
  profile.setText("", pf::kDefaultText);
  profile.setByte(0, pf::kDefaultClass);
  profile.setText(kDefaultRequestTemplate, pf::kRequestTemplate);
  constexpr std::string_view kClassNames[3] = {"Not spam", "Is not determined", "Spam"};
  constexpr std::uint32_t kMarkerFields[3] = {pf::kNotSpamMarker, pf::kUndeterminedMarker,
                                              pf::kSpamMarker};
  for (std::size_t k = 0; k < 3; ++k) {
    profile.setText("__" + std::string(kClassNames[k]), kMarkerFields[k]);
    profile.setByte(kSubjectMarkerPosition, kMarkerFields[k] + 1);
    profile.setText(kClassNames[k], kMarkerFields[k] + 2);
  }
  for (std::uint32_t k = 0; k < 3; ++k) profile.setByte(kHoldDays[k], pf::kHoldDays + k);
  for (std::uint32_t field = 0; field < 300; ++field) profile.setByte(kNoRule, field);

  if (builtin < 1 || builtin > 3) return;
  profile.setText(kBuiltinProfileNames[builtin - 1], pf::kName);
  const std::initializer_list<std::uint8_t> rules[3] = {kStandart1Rules, kStandart2Rules,
                                                        kStandart3Rules};
  const ZoneTable zones = builtinZoneTable();
  for (const std::uint8_t type : rules[builtin - 1]) addRule(profile, type, zones);
  if (builtin == 3) {
    profile.setFlag(true, pf::kRequestMailOption);
    profile.setByte(1, pf::kDefaultClass);
  }
}

void resetProfileToDefaults(RecordFile& profile) {
  resetProfile(profile, builtinProfileNumber(profile.getText(pf::kName)));
}

int addRule(RecordFile& profile, std::uint8_t type, const ZoneTable& zones) {
  if (type > kLastRuleType) return -1;
  if (isBlocklistType(type) && zones.slots[type - kFirstBlocklistType].host.empty()) return -1;
  std::size_t slot = 0;
  std::array<bool, kRuleSlots + 1> taken{};
  while (slot < kRuleSlots) {
    const std::uint8_t number =
        layoutByte(profile, pf::kSlotRule + static_cast<std::uint32_t>(slot));
    if (number == kNoRule) break;
    if (number < taken.size()) taken[number] = true;
    ++slot;
  }
  if (slot == kRuleSlots) return -1;
  const auto number =
      static_cast<std::uint8_t>(std::find(taken.begin(), taken.end(), false) - taken.begin());
  const std::vector<FieldWrite> writes = newRuleWrites(slot, number, type, zones);
  if (!fits(profile, writes)) return -1;
  apply(profile, writes);
  return static_cast<int>(slot);
}

int removeRule(RecordFile& profile, std::size_t row) {
  if (row >= kRuleSlots) return 0;
  const auto first = static_cast<std::uint32_t>(row);
  if (layoutByte(profile, pf::kSlotRule + first) == kNoRule) return 0;
  constexpr std::uint32_t kLast = kRuleSlots - 1;
  for (std::uint32_t k = first; k < kLast; ++k) {
    for (const std::uint32_t list : {pf::kSlotRule, pf::kSlotType, pf::kRunOrder}) {
      profile.setByte(layoutByte(profile, list + k + 1), list + k);
    }
  }
  for (const std::uint32_t list : {pf::kSlotRule, pf::kSlotType, pf::kRunOrder}) {
    profile.setByte(kNoRule, list + kLast);
  }
  return 1;
}

std::vector<ProfileEntry> listProfiles(const std::string& listDir) {
  std::vector<std::string> names;
  platform::listFileNames(listDir, names);
  std::erase_if(names, [](const std::string& name) { return !isProfileFileName(name); });
  std::sort(names.begin(), names.end());
  std::vector<ProfileEntry> profiles;
  RecordFile profile;
  profile.setDirectory(listDir);
  for (std::string& fileName : names) {
    profile.setName(fileName);
    if (!profile.load()) continue;
    profiles.push_back({std::move(fileName), profile.getText(pf::kName)});
  }
  return profiles;
}

std::optional<std::string> findProfile(const std::string& listDir, std::string_view name) {
  for (ProfileEntry& entry : listProfiles(listDir)) {
    if (entry.name == name) return std::move(entry.fileName);
  }
  return std::nullopt;
}

std::optional<std::string> freeProfileFileName(const std::string& listDir) {
  for (int n = 1; n <= kMaxProfileNumber; ++n) {
    std::string name = profileFileName(n);
    const std::string path = listDir + "/" + name;
    if (!platform::isRegularOrOther(path) && !platform::isDirectory(path)) return name;
  }
  return std::nullopt;
}

int ensureBuiltinProfiles(const std::string& listDir) {
  std::array<bool, 3> present{};
  for (const ProfileEntry& entry : listProfiles(listDir)) {
    for (std::size_t n = 0; n < present.size(); ++n) {
      if (entry.name == kBuiltinProfileNames[n]) present[n] = true;
    }
  }
  int created = 0;
  for (std::size_t n = 0; n < present.size(); ++n) {
    if (present[n]) continue;
    const std::optional<std::string> fileName = freeProfileFileName(listDir);
    if (!fileName) return -1;
    RecordFile profile;
    profile.setDirectory(listDir);
    profile.setName(*fileName);
    resetProfile(profile, static_cast<int>(n) + 1);
    if (!profile.save()) return -1;
    ++created;
  }
  return created;
}

std::string uniqueProfileName(const std::string& listDir, std::string_view desired,
                              std::string_view ownFileName) {
  std::vector<std::string> others;
  for (ProfileEntry& entry : listProfiles(listDir)) {
    if (entry.fileName != ownFileName) others.push_back(std::move(entry.name));
  }
  std::string name(trimSpaces(desired));
  if (name.empty()) name = "!";
  // Every try ends in a new "[k]", so this stops after at most others.size() + 1 tries.
  for (int k = 1; std::find(others.begin(), others.end(), name) != others.end(); ++k) {
    dropCountSuffix(name);
    std::string suffix = "[";  // built in steps: GCC 12 warns falsely on "[" + ...
    suffix += std::to_string(k);
    suffix += ']';
    if (name.size() + suffix.size() > kMaxUniqueNameBytes) {
      name.resize(kMaxUniqueNameBytes - suffix.size());
    }
    name += suffix;
  }
  return name;
}

std::optional<std::string> saveProfile(RecordFile& profile, const std::string& listDir) {
  for (std::uint32_t i = 0; i < kRuleSlots; ++i) {
    const std::uint8_t number = layoutByte(profile, pf::kSlotRule + i);
    if (number == kNoRule) break;
    profile.setByte(number, pf::kRunOrder + i);
  }
  profile.setDirectory(listDir);
  std::string name = uniqueProfileName(listDir, profile.getText(pf::kName), profile.name());
  profile.setText(name, pf::kName);
  if (!profile.save()) return std::nullopt;
  return name;
}

std::optional<std::string> newProfile(const std::string& listDir) {
  std::optional<std::string> fileName = freeProfileFileName(listDir);
  if (!fileName) return std::nullopt;
  RecordFile profile;
  profile.setDirectory(listDir);
  profile.setName(*fileName);
  resetProfile(profile, 0);
  profile.setText(kNewProfileName, pf::kName);
  if (!saveProfile(profile, listDir)) return std::nullopt;
  return fileName;
}

std::optional<std::string> copyProfile(const RecordFile& source, const std::string& listDir) {
  std::optional<std::string> fileName = freeProfileFileName(listDir);
  if (!fileName) return std::nullopt;
  RecordFile copy = source;
  copy.setDirectory(listDir);
  copy.setName(*fileName);
  copy.setText(source.getText(pf::kName) + "(" + std::string(kCopySuffix) + ")", pf::kName);
  if (!saveProfile(copy, listDir)) return std::nullopt;
  return fileName;
}

}  // namespace qg
