#include "classify/staging_files.h"

#include <utility>

#include "engine/file_primitives.h"
#include "platform/file_listing.h"

namespace qg {

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
    if (const std::optional<SlotFileName> slot = parseSlotFileName(name)) {
      states.set(slotLookupRank(slot->state));
    }
  }
  return states;
}

bool holds(const SlotStates& states, SlotState state) {
  return states.test(slotLookupRank(state));
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
