#include "engine/filter_profile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/notice.h"
#include "test_folder.h"

namespace qg {
namespace {

namespace pf = profile_field;
namespace rf = rule_field;

using Rules = std::vector<std::pair<int, int>>;  // (rule number, type) per row

Rules rulesOf(const RecordFile& profile) {
  Rules rules;
  for (const ProfileRule& rule : profileRules(profile)) rules.emplace_back(rule.number, rule.type);
  return rules;
}

// The slot fields agree with each other and with what profileRules reads,
// and every slot behind the rules is empty.
void expectConsistentLayout(const RecordFile& profile, const std::string& context) {
  const std::vector<ProfileRule> rules = profileRules(profile);
  for (std::uint32_t i = 0; i < 100; ++i) {
    if (i < rules.size()) {
      EXPECT_EQ(profile.getByte(pf::kRunOrder + i), profile.getByte(pf::kSlotRule + i))
          << context << " slot " << i;
      EXPECT_EQ(rules[i].slot, i) << context;
    } else {
      EXPECT_EQ(profile.getByte(pf::kSlotRule + i), kNoRule) << context << " slot " << i;
      EXPECT_EQ(profile.getByte(pf::kSlotType + i), kNoRule) << context << " slot " << i;
      EXPECT_EQ(profile.getByte(pf::kRunOrder + i), kNoRule) << context << " slot " << i;
    }
  }
}

RecordFile profileIn(const std::string& folder, const std::string& fileName) {
  RecordFile profile;
  profile.setDirectory(folder);
  profile.setName(fileName);
  return profile;
}

void writeProfile(const std::string& folder, const std::string& fileName, const std::string& name) {
  RecordFile profile = profileIn(folder, fileName);
  resetProfile(profile, 0);
  profile.setText(name, pf::kName);
  ASSERT_TRUE(profile.save());
}

std::string nameIn(const std::string& folder, const std::string& fileName) {
  RecordFile profile = profileIn(folder, fileName);
  return profile.load() ? profile.getText(pf::kName) : "<does not load>";
}

TEST(FilterProfile, BuiltinProfilesGetTheirRulesInOrder) {
  struct Case {
    int builtin;
    std::string name;
    std::vector<int> types;
    bool requestMail;
    int defaultClass;
  };
  const Case cases[] = {
      {1, "Standart 1", {0, 4, 5, 12, 8, 9, 10, 11, 6, 7, 16, 17, 14}, false, 0},
      {2, "Standart 2", {0, 4, 5, 12, 8, 9, 10}, false, 0},
      {3, "Standart 3", {0, 4, 5, 12, 8, 9, 10}, true, 1},
  };
  for (const Case& c : cases) {
    RecordFile profile;
    resetProfile(profile, c.builtin);
    EXPECT_EQ(profile.getText(pf::kName), c.name);
    Rules want;
    for (std::size_t i = 0; i < c.types.size(); ++i) {
      want.emplace_back(static_cast<int>(i), c.types[i]);
    }
    EXPECT_EQ(rulesOf(profile), want) << c.name;
    expectConsistentLayout(profile, c.name);
    EXPECT_EQ(profile.getFlag(pf::kRequestMailOption), c.requestMail) << c.name;
    EXPECT_EQ(profile.getByte(pf::kDefaultClass), c.defaultClass) << c.name;
  }
}

TEST(FilterProfile, Standart1RuleFields) {
  RecordFile profile;
  resetProfile(profile, 1);

  // The eleventh rule asks the first built-in zone: codes 2, 4, 5, 6, then zeros.
  const std::uint32_t zone0 = ruleBase(10);
  EXPECT_EQ(profile.getByte(pf::kSlotType + 10), 16);
  EXPECT_EQ(profile.getText(zone0 + rf::kZoneHost), "zen.spamhaus.org");
  const std::vector<int> wantCodes = {2, 4, 5, 6};
  for (std::uint32_t k = 0; k < kZoneCodes; ++k) {
    const int want = k < wantCodes.size() ? wantCodes[k] : 0;
    EXPECT_EQ(profile.typeOf(zone0 + rf::kZoneCodes + k), FieldType::Byte) << k;
    EXPECT_EQ(profile.getByte(zone0 + rf::kZoneCodes + k), want) << k;
  }
  EXPECT_EQ(profile.getText(zone0 + rf::kDisplayText), "DNSBL Spamhaus SBL+XBL");
  EXPECT_EQ(profile.getByte(zone0 + rf::kIsBlocklist), 1);
  EXPECT_EQ(profile.getByte(zone0 + rf::kMode), 2);
  EXPECT_TRUE(profile.getFlag(zone0 + rf::kSpamOptions + 3));

  const std::uint32_t zone1 = ruleBase(11);
  EXPECT_EQ(profile.getText(zone1 + rf::kZoneHost), "bl.spamcop.net");
  EXPECT_EQ(profile.getByte(zone1 + rf::kZoneCodes), 2);
  EXPECT_EQ(profile.getByte(zone1 + rf::kZoneCodes + 1), 0);

  // A white rule: mode 0, no zone fields, nothing marked.
  const std::uint32_t white = ruleBase(0);
  EXPECT_EQ(profile.getByte(white + rf::kMode), 0);
  EXPECT_EQ(profile.getByte(white + rf::kWeight), 1);
  EXPECT_EQ(profile.getShort(white + rf::kSizeLimit), 1000);
  EXPECT_EQ(profile.getByte(white + rf::kLowBound), 5);
  EXPECT_EQ(profile.getByte(white + rf::kHighBound), 7);
  EXPECT_EQ(profile.getByte(white + rf::kIsBlocklist), 0);
  EXPECT_FALSE(profile.typeOf(white + rf::kZoneHost).has_value());
  EXPECT_FALSE(profile.getFlag(white + rf::kSpamOptions + 3));
  EXPECT_EQ(profile.getText(white + rf::kDisplayText), "Sender in the white address list");

  // The size-limit rule has no mode but marks spam.
  const std::uint32_t size = ruleBase(7);
  EXPECT_EQ(profile.getByte(pf::kSlotType + 7), 11);
  EXPECT_FALSE(profile.typeOf(size + rf::kMode).has_value());
  EXPECT_TRUE(profile.getFlag(size + rf::kSpamOptions + 3));

  // Every options flag and sound text of a new rule, in all three blocks.
  for (const std::uint32_t block : {50u, 60u, 70u}) {
    EXPECT_EQ(profile.typeOf(white + block), FieldType::Flag) << block;
    EXPECT_EQ(profile.typeOf(white + block + 1), FieldType::Text) << block;
    for (std::uint32_t k = 2; k <= 5; ++k) {
      EXPECT_EQ(profile.typeOf(white + block + k), FieldType::Flag) << block + k;
    }
  }
  EXPECT_EQ(profile.typeOf(white + 66), FieldType::Flag);
  EXPECT_FALSE(profile.typeOf(white + 56).has_value());
  EXPECT_FALSE(profile.typeOf(white + 76).has_value());
}

TEST(FilterProfile, ResetOfAnotherNameKeepsOnlyTheDialFields) {
  RecordFile profile;
  profile.setText("Mine", pf::kName);
  profile.setText("phone book", 411);
  profile.setText("555", 412);
  profile.setText("user", 413);
  profile.setText("secret", 414);
  profile.setFlag(true, 415);
  profile.setInt(77, 5000);
  ASSERT_EQ(addRule(profile, 16, builtinZoneTable()), 0);  // a rule that must go

  resetProfileToDefaults(profile);

  EXPECT_FALSE(profile.typeOf(pf::kName).has_value());
  EXPECT_FALSE(profile.typeOf(5000).has_value());
  EXPECT_FALSE(profile.typeOf(ruleBase(0)).has_value());
  EXPECT_TRUE(profileRules(profile).empty());
  EXPECT_EQ(profile.getText(411), "phone book");
  EXPECT_EQ(profile.getText(414), "secret");
  EXPECT_TRUE(profile.getFlag(415));
  EXPECT_EQ(profile.typeOf(416), FieldType::Byte);
  EXPECT_EQ(profile.getByte(416), 1);  // missing before: 1
  for (const std::uint32_t flag : {400u, 402u, 403u, 404u, 405u, 406u}) {
    EXPECT_EQ(profile.typeOf(flag), FieldType::Flag) << flag;
    EXPECT_FALSE(profile.getFlag(flag)) << flag;
  }
  EXPECT_EQ(profile.typeOf(401), FieldType::Text);
  EXPECT_EQ(profile.getByte(410), 0);
  EXPECT_EQ(profile.getText(420), kDefaultRequestTemplate);
  EXPECT_EQ(profile.getText(430), "__Not spam");
  EXPECT_EQ(profile.getText(432), "Not spam");
  EXPECT_EQ(profile.getText(440), "__Is not determined");
  EXPECT_EQ(profile.getText(442), "Is not determined");
  EXPECT_EQ(profile.getText(450), "__Spam");
  EXPECT_EQ(profile.getText(452), "Spam");
  for (const std::uint32_t position : {431u, 441u, 451u}) {
    EXPECT_EQ(profile.typeOf(position), FieldType::Byte) << position;
  }
  EXPECT_EQ(profile.getByte(460), 5);
  EXPECT_EQ(profile.getByte(461), 3);
  EXPECT_EQ(profile.getByte(462), 1);
  for (std::uint32_t field = 0; field < 300; ++field) {
    ASSERT_EQ(profile.getByte(field), kNoRule) << field;
  }
  // 6 dial, 6 option flags, 401, 410, 420, 9 marker fields, 3 day counts, 300 rule slots.
  EXPECT_EQ(profile.fields().size(), 6u + 6 + 3 + 9 + 3 + 300);

  // A built-in name in another letter case resets as that built-in profile.
  profile.setText("standart 2", pf::kName);
  profile.setByte(9, 416);
  resetProfileToDefaults(profile);
  EXPECT_EQ(profile.getText(pf::kName), "Standart 2");
  EXPECT_EQ(profileRules(profile).size(), 7u);
  EXPECT_EQ(profile.getByte(416), 9);
}

TEST(FilterProfile, EnsureBuiltinProfilesTakesTheSmallestFreeNumbers) {
  struct Existing {
    std::string file;
    std::string name;
  };
  struct Case {
    const char* what;
    std::vector<Existing> existing;
    std::vector<Existing> want;  // created files and their names
  };
  const Case cases[] = {
      {"empty folder",
       {},
       {{"f_0001.log", "Standart 1"}, {"f_0002.log", "Standart 2"}, {"f_0003.log", "Standart 3"}}},
      {"f_0002 taken",
       {{"f_0002.log", "Mine"}},
       {{"f_0001.log", "Standart 1"}, {"f_0003.log", "Standart 2"}, {"f_0004.log", "Standart 3"}}},
      {"Standart 2 present elsewhere, letter case counts",
       {{"f_0005.log", "Standart 2"}, {"f_0001.log", "standart 1"}},
       {{"f_0002.log", "Standart 1"}, {"f_0003.log", "Standart 3"}}},
  };
  for (const Case& c : cases) {
    TestFolder folder;
    for (const Existing& e : c.existing) writeProfile(folder.root(), e.file, e.name);
    EXPECT_EQ(ensureBuiltinProfiles(folder.root()), static_cast<int>(c.want.size())) << c.what;
    for (const Existing& e : c.want) EXPECT_EQ(nameIn(folder.root(), e.file), e.name) << c.what;
    const std::size_t files = listProfiles(folder.root()).size();
    EXPECT_EQ(files, c.existing.size() + c.want.size()) << c.what;
    EXPECT_EQ(ensureBuiltinProfiles(folder.root()), 0) << c.what;
    EXPECT_EQ(listProfiles(folder.root()).size(), files) << c.what;
  }
}

TEST(FilterProfile, AddAndRemoveKeepTheRunningOrderEqualToTheSlots) {
  struct Case {
    const char* ops;  // "+k" adds type k, "-r" removes row r, "?r" removes an empty row
    Rules want;
  };
  const Case cases[] = {
      {"+0 +4 +5", {{0, 0}, {1, 4}, {2, 5}}},
      {"+0 +4 +5 -0", {{1, 4}, {2, 5}}},
      {"+0 +4 +5 -0 +6", {{1, 4}, {2, 5}, {0, 6}}},
      {"+0 +4 +5 -1 +7 +8", {{0, 0}, {2, 5}, {1, 7}, {3, 8}}},
      {"+0 +4 +5 -2 ?2 -0 -0 ?0 +9", {{0, 9}}},
      {"+0 +4 +5 +6 -1 -1 +15 +16", {{0, 0}, {3, 6}, {1, 15}, {2, 16}}},
  };
  const ZoneTable zones = builtinZoneTable();
  for (const Case& c : cases) {
    RecordFile profile;
    resetProfile(profile, 0);
    std::istringstream ops(c.ops);
    std::string op;
    while (ops >> op) {
      const int value = std::stoi(op.substr(1));
      const std::string context = std::string(c.ops) + " at " + op;
      if (op[0] == '+') {
        EXPECT_GE(addRule(profile, static_cast<std::uint8_t>(value), zones), 0) << context;
      } else {
        EXPECT_EQ(removeRule(profile, static_cast<std::size_t>(value)), op[0] == '-' ? 1 : 0)
            << context;
      }
      expectConsistentLayout(profile, context);
    }
    EXPECT_EQ(rulesOf(profile), c.want) << c.ops;
  }
}

TEST(FilterProfile, ReusedRuleNumberGetsFreshParameters) {
  const ZoneTable zones = builtinZoneTable();
  RecordFile profile;
  resetProfile(profile, 0);
  addRule(profile, 16, zones);  // rule 0: blocklist, mode 2
  addRule(profile, 4, zones);
  removeRule(profile, 0);
  ASSERT_EQ(addRule(profile, kScoreRuleType, zones), 1);
  const std::uint32_t base = ruleBase(0);
  EXPECT_EQ(profile.getByte(pf::kSlotType + 1), kScoreRuleType);
  EXPECT_EQ(profile.getByte(base + rf::kLowBound), 0);
  EXPECT_EQ(profile.getByte(base + rf::kHighBound), 7);
  EXPECT_EQ(profile.getByte(base + rf::kIsBlocklist), 0);
  EXPECT_EQ(profile.getText(base + rf::kDisplayText), "Score outside the bounds");
}

TEST(FilterProfile, AddRuleRefusals) {
  ZoneTable zones = builtinZoneTable();
  RecordFile profile;
  resetProfile(profile, 0);

  EXPECT_EQ(addRule(profile, 18, zones), -1);  // zone slot 2 is empty
  EXPECT_EQ(addRule(profile, 66, zones), -1);  // beyond the zone table
  placeListedZones(zones, parseZoneList("NAME Mine\nZONE mine.example\nCODE 3;9\n"));
  ASSERT_EQ(addRule(profile, 26, zones), 0);
  EXPECT_EQ(profile.getText(ruleBase(0) + rf::kZoneHost), "mine.example");
  EXPECT_EQ(profile.getByte(ruleBase(0) + rf::kZoneCodes + 1), 9);
  EXPECT_EQ(profile.getText(ruleBase(0) + rf::kDisplayText), "DNSBL Mine");

  // A field to write stored with another type: nothing is written.
  profile.setInt(1, ruleBase(1) + rf::kDisplayText);
  const std::vector<std::uint8_t> before = profile.payload();
  EXPECT_EQ(addRule(profile, 4, zones), -1);
  EXPECT_EQ(profile.payload(), before);

  RecordFile full;
  resetProfile(full, 0);
  for (std::size_t k = 0; k < kRuleSlots; ++k) {
    ASSERT_EQ(addRule(full, 4, zones), static_cast<int>(k));
  }
  EXPECT_EQ(addRule(full, 4, zones), -1);
  EXPECT_EQ(full.getByte(99), kNoRule);
  EXPECT_EQ(profileRules(full).size(), kRuleSlots);
  EXPECT_EQ(removeRule(full, 98), 1);
  EXPECT_EQ(removeRule(full, 99), 0);
  expectConsistentLayout(full, "full");
}

TEST(FilterProfile, UniqueNameAddsACount) {
  const std::string long99(99, 'n');
  struct Case {
    const char* what;
    std::vector<std::string> others;
    std::string desired;
    std::string want;
  };
  const Case cases[] = {
      {"free name, blanks trimmed", {"Other"}, "  Mine  ", "Mine"},
      {"empty name", {}, "   ", "!"},
      {"taken once", {"Mine"}, "Mine", "Mine[1]"},
      {"taken with [1] too", {"Mine", "Mine[1]"}, "Mine", "Mine[2]"},
      {"own count replaced", {"Foo[7]"}, "Foo[7]", "Foo[1]"},
      {"comparison is exact", {"mine"}, "Mine", "Mine"},
      {"long name cut for the suffix", {long99}, long99, std::string(96, 'n') + "[1]"},
      {"own file does not count", {}, "Self", "Self"},
  };
  for (const Case& c : cases) {
    TestFolder folder;
    for (std::size_t k = 0; k < c.others.size(); ++k) {
      writeProfile(folder.root(), "f_000" + std::to_string(k + 1) + ".log", c.others[k]);
    }
    writeProfile(folder.root(), "f_0100.log", "Self");
    EXPECT_EQ(uniqueProfileName(folder.root(), c.desired, "f_0100.log"), c.want) << c.what;
  }
}

TEST(FilterProfile, NewAndCopiedProfilesTakeTheFirstFreeNumber) {
  TestFolder folder;
  writeProfile(folder.root(), "f_0001.log", "One");
  writeProfile(folder.root(), "f_0003.log", "Three");

  EXPECT_EQ(newProfile(folder.root()), "f_0002.log");
  EXPECT_EQ(nameIn(folder.root(), "f_0002.log"), "New profile");
  EXPECT_EQ(newProfile(folder.root()), "f_0004.log");
  EXPECT_EQ(nameIn(folder.root(), "f_0004.log"), "New profile[1]");

  RecordFile source = profileIn(folder.root(), "f_0001.log");
  ASSERT_TRUE(source.load());
  addRule(source, 4, builtinZoneTable());
  EXPECT_EQ(copyProfile(source, folder.root()), "f_0005.log");
  RecordFile copy = profileIn(folder.root(), "f_0005.log");
  ASSERT_TRUE(copy.load());
  EXPECT_EQ(copy.getText(pf::kName), "One(copy)");
  EXPECT_EQ(rulesOf(copy), (Rules{{0, 4}}));
}

TEST(FilterProfile, ListingSkipsFilesThatDoNotLoad) {
  TestFolder folder;
  const platform::NoticeHook previous = platform::setNoticeHook([](auto, auto) {});
  writeProfile(folder.root(), "f_0002.log", "Two");
  writeProfile(folder.root(), "f_0001.log", "One");
  std::ofstream(folder.path("f_0003.log")) << "not a record file";
  std::ofstream(folder.path("notes.log")) << "x";

  const std::vector<ProfileEntry> listed = listProfiles(folder.root());
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].fileName, "f_0001.log");
  EXPECT_EQ(listed[1].name, "Two");
  EXPECT_EQ(findProfile(folder.root(), "Two"), "f_0002.log");
  EXPECT_EQ(findProfile(folder.root(), "two"), std::nullopt);
  // A file that does not load still takes its number.
  EXPECT_EQ(freeProfileFileName(folder.root()), "f_0004.log");
  platform::setNoticeHook(previous);
}

}  // namespace
}  // namespace qg
