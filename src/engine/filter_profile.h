// Filter profiles: the named rule sets "f_%04d.log" (record files in the list
// directory) that the boxes name in their field 8. The data work of the
// profile editor lives here (defaults, the three built-in profiles, adding and
// removing rules, naming, numbering) together with the one rule layout that
// the editor writes and the decision procedure reads. Any thread; the caller
// keeps other writers of the list directory away (the workers are stopped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record_file.h"
#include "engine/zone_table.h"

namespace qg {

// Rule layout. Rows of the editor's rule list and rule slots are the same
// numbers i = 0..98, packed from 0 without gaps:
//   field i        byte  rule number t of slot i; 255: no rule here and after
//   field 100 + i  byte  rule type of slot i
//   field 200 + i  byte  rule number of slot i again: the running order
// Rule t keeps its parameters from base = 1000 + 100 * t (offsets below).
// Fields 99, 199 and 299 always hold 255 and end every list.
namespace profile_field {
inline constexpr std::uint32_t kSlotRule = 0;
inline constexpr std::uint32_t kSlotType = 100;
inline constexpr std::uint32_t kRunOrder = 200;
inline constexpr std::uint32_t kDefaultOptions = 400;  // options block; 401 is a text
inline constexpr std::uint32_t kDefaultText = 401;
inline constexpr std::uint32_t kRequestMailOption = 406;  // bit 9 of the default verdict
inline constexpr std::uint32_t kDefaultClass = 410;       // 0 = 2, 1 = 4, other = 8
inline constexpr std::uint32_t kDialFirst = 411;          // 411-414 texts, 415 flag, 416 byte
inline constexpr std::uint32_t kDialFlag = 415;
inline constexpr std::uint32_t kDialByte = 416;
inline constexpr std::uint32_t kRequestTemplate = 420;
inline constexpr std::uint32_t kNotSpamMarker = 430;  // 430 text, 431 byte, 432 text
inline constexpr std::uint32_t kUndeterminedMarker = 440;
inline constexpr std::uint32_t kSpamMarker = 450;
inline constexpr std::uint32_t kHoldDays = 460;  // 460, 461, 462 bytes
inline constexpr std::uint32_t kName = 999;
inline constexpr std::uint32_t kRuleBase = 1000;
inline constexpr std::uint32_t kRuleStride = 100;
}  // namespace profile_field

// Offsets from a rule's base.
namespace rule_field {
inline constexpr std::uint32_t kMode = 0;             // byte; not used by types 11 and 15
inline constexpr std::uint32_t kWeight = 5;           // byte
inline constexpr std::uint32_t kSizeLimit = 6;        // 16-bit, thousands of bytes (type 11)
inline constexpr std::uint32_t kLowBound = 7;         // byte, score bound of type 15
inline constexpr std::uint32_t kHighBound = 8;        // byte, score bound of type 15
inline constexpr std::uint32_t kZoneHost = 9;         // text, blocklist types
inline constexpr std::uint32_t kZoneCodes = 10;       // 32 bytes, blocklist types
inline constexpr std::uint32_t kDisplayText = 42;     // text
inline constexpr std::uint32_t kIsBlocklist = 43;     // byte, 1 for blocklist types
inline constexpr std::uint32_t kNotSpamOptions = 50;  // options blocks, sound text at +1
inline constexpr std::uint32_t kUndeterminedOptions = 60;
inline constexpr std::uint32_t kSpamOptions = 70;
}  // namespace rule_field

// Offsets inside an options block (at base + 50, + 60 and + 70 of a rule, and
// at 400 for the default verdict): flags, each adding one bit to the verdict.
// Offset 1 holds the block's sound file text.
namespace option_field {
inline constexpr std::uint32_t kSound = 0;          // bit 4: queue a new-mail sound
inline constexpr std::uint32_t kNotice = 2;         // bit 5: queue a new-mail notice
inline constexpr std::uint32_t kQuarantine = 3;     // bit 6
inline constexpr std::uint32_t kMarkSubject = 4;    // bit 7
inline constexpr std::uint32_t kVerdictHeader = 5;  // bit 8: the "X-QG:" line
inline constexpr std::uint32_t kRequestMail = 6;    // bit 9
}  // namespace option_field

inline constexpr std::uint8_t kNoRule = 255;
inline constexpr std::size_t kRuleSlots = 99;
inline constexpr std::uint8_t kScoreRuleType = 15;
inline constexpr std::uint8_t kFirstBlocklistType = 16;
inline constexpr std::uint8_t kLastRuleType = kFirstBlocklistType + kZoneSlots - 1;
inline constexpr int kMaxProfileNumber = 9999;
// A name made unique by "[k]" is cut so that name and suffix fit in this many bytes.
inline constexpr std::size_t kMaxUniqueNameBytes = 99;

inline constexpr std::string_view kBuiltinProfileNames[3] = {"Standart 1", "Standart 2",
                                                             "Standart 3"};
// English texts until the language table provides them.
inline constexpr std::string_view kNewProfileName = "New profile";
inline constexpr std::string_view kCopySuffix = "copy";
inline constexpr std::string_view kDefaultRequestTemplate =
    "Text:{Hello,\r\n\r\nyour message of [DateReceived] to [ToEmail] with the subject "
    "\"[Subject]\" is held by a spam filter. Please reply to this mail without changing its "
    "subject, and your message will be delivered.\r\n}";

constexpr std::uint32_t ruleBase(std::uint8_t ruleNumber) {
  return profile_field::kRuleBase + profile_field::kRuleStride * ruleNumber;
}

// One rule of the running order.
struct ProfileRule {
  std::size_t slot = 0;     // row of the editor's list
  std::uint8_t number = 0;  // rule number t
  std::uint8_t type = 0;
  std::uint32_t base() const { return ruleBase(number); }
};

// The rules in running order: slot i = 0, 1, ... while field i and field
// 200 + i hold a rule number below 100 and field 100 + i a type; a missing
// field ends the list like 255. This is how the decision procedure reads a profile.
std::vector<ProfileRule> profileRules(const RecordFile& profile);

// 1, 2 or 3 when name is "Standart 1", "Standart 2" or "Standart 3" in any
// letter case (whole text), else 0.
int builtinProfileNumber(std::string_view name);

// The text a rule of this type shows: the type's English text for 0-15,
// zoneChoiceText of slot type - 16 for blocklist types; empty for an unknown
// type or an unused zone slot.
std::string ruleTypeText(std::uint8_t type, const ZoneTable& zones);

// Resets profile to the defaults: keeps fields 411-415 (texts and flag) and
// 416 (byte, 1 when missing), drops every other field (field 999 too) and
// writes the default values with no rules. builtin 1, 2 or 3 then names the
// profile "Standart n" and adds that profile's rules (blocklist zones from the
// built-in zone table); any other value leaves it without name and rules.
void resetProfile(RecordFile& profile, int builtin);
// resetProfile with the number builtinProfileNumber gives for field 999.
void resetProfileToDefaults(RecordFile& profile);

// Adds a rule of type (0-15, or 16 + a zone slot) in the first free slot:
// rule number t = the smallest number that no earlier slot holds, its fields
// from base = 1000 + 100 * t set to the new-rule values. Returns the slot (the
// new rule's row), or -1 with the profile unchanged when all 99 slots are in
// use, the type is above 65 or names an empty zone slot, or a field to write
// already exists with another field type.
int addRule(RecordFile& profile, std::uint8_t type, const ZoneTable& zones);

// Removes the rule in row: slots row + 1 .. 98 move up one and slot 98 is
// emptied, so field 200 + i still equals field i. The rule's parameter fields
// stay in the file (a later rule with the same number overwrites them).
// Returns 1, or 0 when row holds no rule.
int removeRule(RecordFile& profile, std::size_t row);

// One profile file of the list directory.
struct ProfileEntry {
  std::string fileName;  // "f_0001.log"
  std::string name;      // field 999
};

// Every "f_*.log" of listDir that loads, sorted by file name. Files that do
// not load are left out.
std::vector<ProfileEntry> listProfiles(const std::string& listDir);

// The file name of the first profile (in listProfiles order) whose field 999
// equals name byte for byte, or nullopt.
std::optional<std::string> findProfile(const std::string& listDir, std::string_view name);

// "f_%04d.log" with the smallest n from 1 to 9999 that does not exist in
// listDir, or nullopt when all are taken.
std::optional<std::string> freeProfileFileName(const std::string& listDir);

// Creates each of "Standart 1", "Standart 2", "Standart 3" that no loadable
// profile names exactly (letter case counts), in that order, each under the
// next free number. Returns the number created (0 when all exist), or -1 when
// one could not be created (no free number or a failed save); those created
// before stay.
int ensureBuiltinProfiles(const std::string& listDir);

// The name a profile saved as ownFileName gets: desired without leading and
// trailing blanks ("!" when nothing is left), then, while another profile file
// of listDir has exactly that name, the k-th try drops a trailing "[digits]",
// cuts the name to leave room for the suffix within 99 bytes and appends "[k]".
std::string uniqueProfileName(const std::string& listDir, std::string_view desired,
                              std::string_view ownFileName);

// Saves profile into listDir under its own name (set by the caller, for
// example from freeProfileFileName), with field 200 + i rewritten from field i
// and field 999 set to uniqueProfileName of its current value. Returns the
// stored name, or nullopt when the save failed.
std::optional<std::string> saveProfile(RecordFile& profile, const std::string& listDir);

// Creates a reset profile without rules named "New profile" (made unique)
// under the smallest free number. Returns its file name, or nullopt when no
// number is free or the save failed.
std::optional<std::string> newProfile(const std::string& listDir);

// Saves a copy of source under the smallest free number, named "%s(%s)" with
// source's name and "copy" (made unique). Returns its file name, or nullopt.
std::optional<std::string> copyProfile(const RecordFile& source, const std::string& listDir);

}  // namespace qg
