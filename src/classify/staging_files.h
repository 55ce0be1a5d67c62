// The staging files of a box as the analysis worker moves them on: listing
// the slots of one state in TMP, and the rename to the next state, which
// first writes the record line back. The analysis thread; the fetcher meets
// these files only through their names and exclusive opens.
#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <vector>

#include "engine/mail_store.h"
#include "engine/staging_line.h"

namespace qg {

// The paths of boxDir's slot files in state, by ascending slot number. Only
// names of exactly eight digits, a dot and the state's name count. Empty when
// TMP cannot be read.
std::vector<std::string> stagingFilesIn(const std::string& boxDir, SlotState state);

// Which states boxDir's TMP holds slot files in, from one listing: bit k for
// the state at index k of kSlotLookupOrder.
using SlotStates = std::bitset<kSlotLookupOrder.size()>;
SlotStates stagingStatesIn(const std::string& boxDir);
bool holds(const SlotStates& states, SlotState state);

// path with its state name (the part behind the last dot) replaced by the
// name of state: "00000007.hd" to "00000007.hdr", "00000007.hdd" to "00000007.hd".
std::string stagingPathIn(const std::string& path, SlotState state);

// Writes line over the record line of the staging file at path, then renames
// the file into state (replacing a file of that name). Returns the new path;
// nullopt, with nothing renamed, when the file is gone, its record line no
// longer passes the strict check, or a write fails.
std::optional<std::string> renameStaging(const std::string& path, const StagingLine& line,
                                         SlotState state);

}  // namespace qg
