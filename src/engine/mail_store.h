// The mail store under storeDir: box folders "BOX_nnnn" with their "box.log",
// IN (delivered messages), OUT and TMP (staging slots), what makes a box
// valid, the scans over boxes, and box removal. Any thread; the files are met
// only through the file primitives. Removing a box is for callers that have
// stopped the workers (the setup and qgctl).
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record_file.h"

namespace qg {

inline constexpr int kMaxBoxNumber = 9999;
// scanBoxes stops after this many valid boxes (the fetcher's box table).
inline constexpr std::size_t kMaxScannedBoxes = 256;
// Staging slots are numbered 0 to kSlotCount - 1.
inline constexpr int kSlotCount = 8192;
// IN messages are numbered 0 to kMaxInNumber.
inline constexpr int kMaxInNumber = 8128;

inline constexpr std::string_view kBoxRecordName = "box.log";
inline constexpr std::string_view kInFolder = "IN";
inline constexpr std::string_view kOutFolder = "OUT";
inline constexpr std::string_view kTmpFolder = "TMP";
// In TMP: what slotPath yields when a slot has no file, and the fetcher's
// temporary files for a header and a whole message just received.
inline constexpr std::string_view kNoSlotName = "tmp.tmp";
inline constexpr std::string_view kTmpHeadName = "tmphead.tmp";
inline constexpr std::string_view kTmpMailName = "tmpmail.tmp";

// Field numbers of "box.log".
namespace box_field {
inline constexpr std::uint32_t kSmtpHost = 1;        // text
inline constexpr std::uint32_t kSmtpPort = 2;        // 16-bit
inline constexpr std::uint32_t kPop3Host = 3;        // text
inline constexpr std::uint32_t kPop3Port = 4;        // 16-bit
inline constexpr std::uint32_t kUser = 5;            // text
inline constexpr std::uint32_t kPassword = 6;        // text
inline constexpr std::uint32_t kInterval = 7;        // 16-bit, minutes, 0 = no timed polling
inline constexpr std::uint32_t kProfile = 8;         // text, field 999 of a filter profile
inline constexpr std::uint32_t kOption = 9;          // byte, 1 to 3
inline constexpr std::uint32_t kEnabled = 11;        // flag
inline constexpr std::uint32_t kCheckAtStart = 12;   // flag
inline constexpr std::uint32_t kOption14 = 14;       // flag
inline constexpr std::uint32_t kAddress = 15;        // text
inline constexpr std::uint32_t kMoreAddresses = 16;  // text, addresses separated by ";"
// The own addresses with their mail exchanges, filled when the analysis
// worker first makes the box current: the number of own addresses (byte),
// the addresses upper-cased (texts from 101), for own address i the number
// of its mail-exchange hosts at 200 + 10 i (byte) and their names from
// 201 + 10 i (texts), and the lookups tried at 1000 + i (byte).
inline constexpr std::uint32_t kOwnAddressCount = 100;
inline constexpr std::uint32_t kFirstOwnAddress = 101;
inline constexpr std::uint32_t kMailExchangeCountBase = 200;
inline constexpr std::uint32_t kMailExchangeFieldStep = 10;
inline constexpr std::uint32_t kLookupTriesBase = 1000;
// The fields above stay apart for at most this many own addresses and hosts.
inline constexpr std::uint32_t kMaxOwnAddresses = 80;
inline constexpr std::uint32_t kMaxMailExchanges = 9;
constexpr std::uint32_t mailExchangeCountField(std::uint32_t i) {
  return kMailExchangeCountBase + kMailExchangeFieldStep * i;
}
constexpr std::uint32_t mailExchangeField(std::uint32_t i, std::uint32_t j) {
  return mailExchangeCountField(i) + 1 + j;
}
}  // namespace box_field

// States of a staging slot, in the order a lookup tries them.
enum class SlotState {
  New,                // "hd": staged by the fetcher, waiting for the analysis
  Classified,         // "hdr": the flag word tells the fetcher what to do
  Held,               // "hdp": waiting for the sender's reply to a request
  AwaitingBlocklist,  // "hdd": waiting for blocklist answers
  Quarantined,        // "hdz": listed in "zap.inf"
  Finished,           // "hd~": delivered or withheld, kept so it is not staged again
  UserDecision,       // "hdt": a decision of the user, for the analysis worker
};
inline constexpr std::array<SlotState, 7> kSlotLookupOrder{
    SlotState::New,         SlotState::Classified,
    SlotState::Held,        SlotState::AwaitingBlocklist,
    SlotState::Quarantined, SlotState::Finished,
    SlotState::UserDecision};
// The state's position in kSlotLookupOrder (0 for New): a lookup takes the
// lowest present.
constexpr std::size_t slotLookupRank(SlotState state) {
  std::size_t rank = 0;
  while (rank < kSlotLookupOrder.size() && kSlotLookupOrder[rank] != state) ++rank;
  return rank;
}
// The state's file extension without the dot: "hd", "hdr", ...
std::string_view slotStateName(SlotState state);

// Case-insensitive equality of two whole texts (Windows-1251 letters).
bool sameTextIgnoringCase(std::string_view a, std::string_view b);

// storeDir + "/BOX_%04d" (n is 1 to 9999).
std::string boxDirectory(const std::string& storeDir, int n);
// The number of a box folder name "BOX_nnnn" (exactly four digits, 1 to
// 9999), or -1 for any other name.
int boxNumberFromName(std::string_view name);
// boxDir + "/IN/%08d.msg".
std::string messagePath(const std::string& boxDir, int n);
// The number of a message file name "%08d.msg" (exactly eight digits), or -1
// for any other name.
int messageNumberFromName(std::string_view name);
// boxDir + "/TMP/%08d." + the state's name.
std::string slotFilePath(const std::string& boxDir, int n, SlotState state);
// A staging file's name, "%08d." and a state name, split into its slot number
// (0 to kSlotCount - 1) and state; nullopt for any other name.
struct SlotFileName {
  int number = 0;
  SlotState state = SlotState::New;
};
std::optional<SlotFileName> parseSlotFileName(std::string_view name);
// The state slot n is in: the first of kSlotLookupOrder whose file exists;
// nullopt when none does or n lies outside 0..kSlotCount-1.
std::optional<SlotState> findSlot(const std::string& boxDir, int n);
// The existing file of slot n, else boxDir + "/TMP/tmp.tmp".
std::string slotPath(const std::string& boxDir, int n);
// The numbers of the slots with a file of state in the box's TMP folder, in
// ascending order; empty when the folder cannot be read.
std::vector<int> slotNumbersIn(const std::string& boxDir, SlotState state);
// Message files "%08d.msg" in IN and OUT are looked at for numbers 0 to
// kMessageNumberCount - 1.
inline constexpr int kMessageNumberCount = 8192;
using MessageNumbers = std::bitset<kMessageNumberCount>;
// Replaces numbers with the numbers of the "%08d.msg" files in folder below
// kMessageNumberCount. False (numbers empty) when the folder cannot be read.
bool messageNumbersIn(const std::string& folder, MessageNumbers& numbers);
// The lowest number from 0 to kMaxInNumber with no "IN/%08d.msg" (the next
// delivered message takes it); -1 when every number is taken or IN cannot be
// read. A delivery must never replace a waiting message, so -1 means: keep it.
int nextMessageNumber(const std::string& boxDir);

// Points record at the box folder and "box.log" and loads it. False when the
// file is missing or does not load (record is then empty).
bool loadBox(const std::string& storeDir, int n, RecordFile& record);

// Why a box is not valid, in the order the rules are checked.
enum class BoxCheck {
  Valid,
  NotLoaded,         // "box.log" missing or damaged
  Disabled,          // field 11 not set
  BadAddress,        // field 15 not a valid address
  BadMoreAddresses,  // a part of field 16 not a valid address
  ShortPassword,     // field 6 shorter than 3 characters
  ProfileNotFound,   // field 8 empty or no profile in storeDir has that name
};
inline constexpr std::size_t kMinPassword = 3;

// The names (field 999) of the filter profiles "f_*.log" in folder that load.
std::vector<std::string> loadProfileNames(const std::string& folder);
// Loads box n (skipped when n is negative: record is already loaded) and
// checks every rule. The profile of field 8 is looked for in storeDir; the
// second form takes the names from loadProfileNames, so a scan over many
// boxes reads the profiles once.
BoxCheck checkBox(const std::string& storeDir, int n, RecordFile& record);
BoxCheck checkBox(const std::string& storeDir, int n, RecordFile& record,
                  const std::vector<std::string>& profileNames);
// checkBox(...) == BoxCheck::Valid.
bool isValidBox(const std::string& storeDir, int n, RecordFile& record);

// Visits the valid boxes in ascending number from 1 to 9999, at most limit
// of them, with the box's loaded record; visit returns false to stop. Returns
// the count visited.
std::size_t scanBoxes(const std::string& storeDir,
                      const std::function<bool(int number, RecordFile& record)>& visit,
                      std::size_t limit = kMaxScannedBoxes);
// The numbers scanBoxes visits.
std::vector<int> scanBoxes(const std::string& storeDir);

// Deletes every file of the folder (with deleteFileRetry), then the folder.
// True when no folder of that name remains (also when there was none); false
// when it is still there (for example because it holds a folder).
bool removeDirectory(const std::string& path);

// Mail waiting in a box: ".msg" files in IN and in OUT, ".hd*" files in TMP.
struct BoxMailCounts {
  int in = 0;
  int out = 0;
  int tmp = 0;
};
BoxMailCounts countBoxMail(const std::string& boxDir);
// The non-zero counts as "in=%d", " out=%d", " tmp=%d" (the first part
// without its blank); empty when all are 0.
std::string boxMailCountsText(const BoxMailCounts& counts);

enum class BoxRemoval {
  Removed,
  HoldsMail,  // IN or OUT holds a ".msg" or ".hd*" file, or TMP a ".hd*" file
  Missing,    // no such box folder
  Failed,     // a folder could not be read or removed
};
// Removes box n when it holds no mail: TMP, OUT, IN and the box folder, in
// this order, each with removeDirectory.
BoxRemoval removeBox(const std::string& storeDir, int n);

}  // namespace qg
