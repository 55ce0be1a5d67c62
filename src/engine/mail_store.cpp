#include "engine/mail_store.h"

#include <algorithm>
#include <bitset>
#include <cstdio>

#include "engine/file_primitives.h"
#include "engine/filter_profile.h"
#include "engine/mail_address.h"
#include "platform/file.h"
#include "platform/file_listing.h"
#include "platform/folder_listing.h"
#include "text/charsets.h"

namespace qg {

namespace {

constexpr std::string_view kBoxPrefix = "BOX_";
constexpr std::size_t kBoxDigits = 4;
constexpr std::size_t kMessageDigits = 8;
constexpr std::string_view kMessageExtension = ".msg";
constexpr std::string_view kSlotMark = ".hd";

std::string joinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  path += '/';
  path += name;
  return path;
}

// The number written by exactly digits decimal digits at the start of text
// (text holds nothing else); -1 otherwise.
int digitsValue(std::string_view text, std::size_t digits) {
  if (text.size() != digits) return -1;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool isMessageName(std::string_view name) {
  return name.ends_with(kMessageExtension);
}

// Matches "*.hd*": every staging state.
bool isSlotName(std::string_view name) {
  return name.find(kSlotMark) != std::string_view::npos;
}

// Counts the names in folder that match; -1 when the folder exists but cannot
// be read. A missing folder holds nothing.
int countNames(const std::string& folder, bool (*matches)(std::string_view)) {
  std::vector<std::string> names;
  if (!platform::listFileNames(folder, names)) return platform::isDirectory(folder) ? -1 : 0;
  return static_cast<int>(std::count_if(names.begin(), names.end(),
                                        [&](const std::string& name) { return matches(name); }));
}

bool isMessageOrSlotName(std::string_view name) {
  return isMessageName(name) || isSlotName(name);
}

// Field 16: addresses separated by ";". Empty parts (a trailing ";", or the
// whole field empty) are passed over rather than failing the box.
bool allAddressesValid(std::string_view list) {
  while (true) {
    const std::size_t end = list.find(';');
    std::string part(list.substr(0, end));
    trimAddressText(part);
    if (!part.empty() && !isValidAddress(part)) return false;
    if (end == std::string_view::npos) return true;
    list.remove_prefix(end + 1);
  }
}

BoxCheck checkLoaded(const RecordFile& record, const std::vector<std::string>& profileNames) {
  if (!record.getFlag(box_field::kEnabled)) return BoxCheck::Disabled;
  std::string address = record.getText(box_field::kAddress);
  if (!isValidAddress(address)) return BoxCheck::BadAddress;
  if (!allAddressesValid(record.getText(box_field::kMoreAddresses))) {
    return BoxCheck::BadMoreAddresses;
  }
  if (record.getText(box_field::kPassword).size() < kMinPassword) return BoxCheck::ShortPassword;
  const std::string profile = record.getText(box_field::kProfile);
  if (profile.empty()) return BoxCheck::ProfileNotFound;
  for (const std::string& name : profileNames) {
    if (sameTextIgnoringCase(name, profile)) return BoxCheck::Valid;
  }
  return BoxCheck::ProfileNotFound;
}

}  // namespace

std::string_view slotStateName(SlotState state) {
  switch (state) {
    case SlotState::New:
      return "hd";
    case SlotState::Classified:
      return "hdr";
    case SlotState::Held:
      return "hdp";
    case SlotState::AwaitingBlocklist:
      return "hdd";
    case SlotState::Quarantined:
      return "hdz";
    case SlotState::Finished:
      return "hd~";
    case SlotState::UserDecision:
      return "hdt";
  }
  return "hd";
}

bool sameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upperCase1251(static_cast<std::uint8_t>(a[i])) !=
        upperCase1251(static_cast<std::uint8_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string boxDirectory(const std::string& storeDir, int n) {
  char name[24];
  std::snprintf(name, sizeof name, "BOX_%04d", n);
  return joinPath(storeDir, name);
}

int boxNumberFromName(std::string_view name) {
  if (!name.starts_with(kBoxPrefix)) return -1;
  const int n = digitsValue(name.substr(kBoxPrefix.size()), kBoxDigits);
  return n >= 1 ? n : -1;
}

std::string messagePath(const std::string& boxDir, int n) {
  char name[32];
  std::snprintf(name, sizeof name, "IN/%08d.msg", n);
  return joinPath(boxDir, name);
}

std::vector<int> slotNumbersIn(const std::string& boxDir, SlotState state) {
  std::vector<std::string> names;
  std::vector<int> numbers;
  if (!platform::listFileNames(joinPath(boxDir, kTmpFolder), names)) return numbers;
  for (const std::string& name : names) {
    const std::optional<SlotFileName> slot = parseSlotFileName(name);
    if (slot && slot->state == state) numbers.push_back(slot->number);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

int messageNumberFromName(std::string_view name) {
  if (!name.ends_with(kMessageExtension)) return -1;
  return digitsValue(name.substr(0, name.size() - kMessageExtension.size()), kMessageDigits);
}

std::string slotFilePath(const std::string& boxDir, int n, SlotState state) {
  char name[32];
  std::snprintf(name, sizeof name, "TMP/%08d.", n);
  std::string path = joinPath(boxDir, name);
  path += slotStateName(state);
  return path;
}

std::optional<SlotFileName> parseSlotFileName(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot != kMessageDigits) return std::nullopt;
  const int number = digitsValue(name.substr(0, dot), kMessageDigits);
  if (number < 0 || number >= kSlotCount) return std::nullopt;
  for (const SlotState state : kSlotLookupOrder) {
    if (name.substr(dot + 1) == slotStateName(state)) return SlotFileName{number, state};
  }
  return std::nullopt;
}

std::optional<SlotState> findSlot(const std::string& boxDir, int n) {
  if (n < 0 || n >= kSlotCount) return std::nullopt;
  for (const SlotState state : kSlotLookupOrder) {
    if (fileExists(slotFilePath(boxDir, n, state))) return state;
  }
  return std::nullopt;
}

std::string slotPath(const std::string& boxDir, int n) {
  if (const std::optional<SlotState> state = findSlot(boxDir, n)) {
    return slotFilePath(boxDir, n, *state);
  }
  std::string path = joinPath(boxDir, kTmpFolder);
  path += '/';
  path += kNoSlotName;
  return path;
}

bool messageNumbersIn(const std::string& folder, MessageNumbers& numbers) {
  numbers.reset();
  std::vector<std::string> names;
  if (!platform::listFileNames(folder, names)) return false;
  for (const std::string_view name : names) {
    const int n = messageNumberFromName(name);
    if (n >= 0 && n < kMessageNumberCount) numbers.set(static_cast<std::size_t>(n));
  }
  return true;
}

int nextMessageNumber(const std::string& boxDir) {
  MessageNumbers taken;
  if (!messageNumbersIn(joinPath(boxDir, kInFolder), taken)) return -1;
  for (int n = 0; n <= kMaxInNumber; ++n) {
    if (!taken.test(static_cast<std::size_t>(n))) return n;
  }
  return -1;
}

bool loadBox(const std::string& storeDir, int n, RecordFile& record) {
  const std::string folder = boxDirectory(storeDir, n);
  record.setDirectory(folder);
  record.setName(kBoxRecordName);
  if (!fileExists(joinPath(folder, kBoxRecordName))) {
    record.clear();
    return false;
  }
  return record.load();
}

std::vector<std::string> loadProfileNames(const std::string& folder) {
  std::vector<std::string> names;
  for (ProfileEntry& profile : listProfiles(folder)) names.push_back(std::move(profile.name));
  return names;
}

BoxCheck checkBox(const std::string& storeDir, int n, RecordFile& record,
                  const std::vector<std::string>& profileNames) {
  if (n >= 0 && !loadBox(storeDir, n, record)) return BoxCheck::NotLoaded;
  return checkLoaded(record, profileNames);
}

BoxCheck checkBox(const std::string& storeDir, int n, RecordFile& record) {
  if (n >= 0 && !loadBox(storeDir, n, record)) return BoxCheck::NotLoaded;
  // The profiles are read only when the cheaper rules have passed.
  const BoxCheck early = checkLoaded(record, {});
  if (early != BoxCheck::ProfileNotFound) return early;
  return checkLoaded(record, loadProfileNames(storeDir));
}

bool isValidBox(const std::string& storeDir, int n, RecordFile& record) {
  return checkBox(storeDir, n, record) == BoxCheck::Valid;
}

std::size_t scanBoxes(const std::string& storeDir,
                      const std::function<bool(int number, RecordFile& record)>& visit,
                      std::size_t limit) {
  // One listing of the store instead of probing 9999 folder names.
  std::vector<std::string> folders;
  platform::listFolderNames(storeDir, folders);
  std::vector<int> numbers;
  for (const std::string& name : folders) {
    const int n = boxNumberFromName(name);
    if (n > 0 && n <= kMaxBoxNumber) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  std::optional<std::vector<std::string>> profiles;  // read at the first box that needs them
  RecordFile record;
  std::size_t visited = 0;
  for (const int n : numbers) {
    if (visited >= limit) break;
    if (!loadBox(storeDir, n, record)) continue;
    BoxCheck check = checkLoaded(record, {});
    if (check == BoxCheck::ProfileNotFound) {
      if (!profiles) profiles = loadProfileNames(storeDir);
      check = checkLoaded(record, *profiles);
    }
    if (check != BoxCheck::Valid) continue;
    ++visited;
    if (!visit(n, record)) break;
  }
  return visited;
}

std::vector<int> scanBoxes(const std::string& storeDir) {
  std::vector<int> numbers;
  scanBoxes(storeDir, [&](int n, RecordFile&) {
    numbers.push_back(n);
    return true;
  });
  return numbers;
}

bool removeDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (platform::listFileNames(path, names)) {
    for (const std::string& name : names) deleteFileRetry(joinPath(path, name));
    platform::removeEmptyFolder(path);
  }
  return !platform::isDirectory(path);
}

BoxMailCounts countBoxMail(const std::string& boxDir) {
  BoxMailCounts counts;
  counts.in = std::max(0, countNames(joinPath(boxDir, kInFolder), isMessageName));
  counts.out = std::max(0, countNames(joinPath(boxDir, kOutFolder), isMessageName));
  counts.tmp = std::max(0, countNames(joinPath(boxDir, kTmpFolder), isSlotName));
  return counts;
}

std::string boxMailCountsText(const BoxMailCounts& counts) {
  std::string text;
  const auto part = [&](const char* label, int count) {
    if (count == 0) return;
    if (!text.empty()) text += ' ';
    text += label;
    text += '=';
    text += std::to_string(count);
  };
  part("in", counts.in);
  part("out", counts.out);
  part("tmp", counts.tmp);
  return text;
}

BoxRemoval removeBox(const std::string& storeDir, int n) {
  const std::string folder = boxDirectory(storeDir, n);
  if (!platform::isDirectory(folder)) return BoxRemoval::Missing;
  const std::string in = joinPath(folder, kInFolder);
  const std::string out = joinPath(folder, kOutFolder);
  const std::string tmp = joinPath(folder, kTmpFolder);
  const int inMail = countNames(in, isMessageOrSlotName);
  const int outMail = countNames(out, isMessageOrSlotName);
  const int tmpMail = countNames(tmp, isSlotName);
  if (inMail < 0 || outMail < 0 || tmpMail < 0) return BoxRemoval::Failed;
  if (inMail > 0 || outMail > 0 || tmpMail > 0) return BoxRemoval::HoldsMail;
  for (const std::string& path : {tmp, out, in, folder}) {
    if (!removeDirectory(path)) return BoxRemoval::Failed;
  }
  return BoxRemoval::Removed;
}

}  // namespace qg
