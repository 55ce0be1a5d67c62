#include "classify/staging_files.h"

#include <algorithm>
#include <utility>

#include "engine/file_primitives.h"
#include "platform/file_listing.h"

namespace qg {

namespace {

constexpr std::size_t kSlotDigits = 8;

// The slot number of name when it is "%08d." followed by stateName, else -1.
int slotNumberOf(std::string_view name, std::string_view stateName) {
  if (name.size() != kSlotDigits + 1 + stateName.size() || name[kSlotDigits] != '.' ||
      name.substr(kSlotDigits + 1) != stateName) {
    return -1;
  }
  int number = 0;
  for (const char c : name.substr(0, kSlotDigits)) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::vector<int> slotNumbersIn(const std::string& boxDir, SlotState state) {
  std::vector<std::string> names;
  std::vector<int> numbers;
  if (!platform::listFileNames(boxDir + "/" + std::string(kTmpFolder), names)) return numbers;
  const std::string_view stateName = slotStateName(state);
  for (const std::string& name : names) {
    const int number = slotNumberOf(name, stateName);
    if (number >= 0 && number < kSlotCount) numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

}  // namespace

std::vector<std::string> stagingFilesIn(const std::string& boxDir, SlotState state) {
  std::vector<std::string> paths;
  for (const int number : slotNumbersIn(boxDir, state)) {
    paths.push_back(slotFilePath(boxDir, number, state));
  }
  return paths;
}

SlotStates stagingStatesIn(const std::string& boxDir) {
  SlotStates states;
  std::vector<std::string> names;
  if (!platform::listFileNames(boxDir + "/" + std::string(kTmpFolder), names)) return states;
  for (const std::string& name : names) {
    for (std::size_t k = 0; k < kSlotLookupOrder.size(); ++k) {
      const int number = slotNumberOf(name, slotStateName(kSlotLookupOrder[k]));
      if (number >= 0 && number < kSlotCount) states.set(k);
    }
  }
  return states;
}

bool holds(const SlotStates& states, SlotState state) {
  const auto at = std::find(kSlotLookupOrder.begin(), kSlotLookupOrder.end(), state);
  return at != kSlotLookupOrder.end() &&
         states.test(static_cast<std::size_t>(at - kSlotLookupOrder.begin()));
}

std::string stagingPathIn(const std::string& path, SlotState state) {
  const std::size_t dot = path.rfind('.');
  std::string renamed = dot == std::string::npos ? path + "." : path.substr(0, dot + 1);
  renamed += slotStateName(state);
  return renamed;
}

std::optional<std::string> renameStaging(const std::string& path, const StagingLine& line,
                                         SlotState state) {
  {
    FileHandle file;
    if (!openExisting(path, file)) return std::nullopt;
    // A line damaged since it was read is not overwritten with a valid one:
    // the file would then pass for a message it may not hold.
    if (!readStagingLine(file) || !writeStagingLine(file, line)) return std::nullopt;
  }
  std::string renamed = stagingPathIn(path, state);
  if (renamed != path && !moveReplace(path, renamed)) return std::nullopt;
  return renamed;
}

}  // namespace qg
