#include "retrieval/staging_table.h"

#include <algorithm>

#include "engine/file_primitives.h"
#include "engine/staging_line.h"
#include "platform/file_listing.h"

namespace qg {

void StagingTable::scan(const std::string& boxDir) {
  slots_.fill(StagedSlot{});
  nextFree_ = 0;
  std::vector<std::string> names;
  platform::listFileNames(boxDir + "/" + std::string(kTmpFolder), names);

  // The file of each slot that a lookup would find.
  std::array<std::optional<SlotState>, kSlotCount> found{};
  for (const std::string& name : names) {
    const std::optional<SlotFileName> slot = parseSlotFileName(name);
    if (!slot) continue;
    auto& state = found[static_cast<std::size_t>(slot->number)];
    if (!state || slotLookupRank(slot->state) < slotLookupRank(*state)) state = slot->state;
  }

  for (int n = 0; n < kSlotCount; ++n) {
    const std::optional<SlotState>& state = found[static_cast<std::size_t>(n)];
    if (!state) continue;
    const std::string path = slotFilePath(boxDir, n, *state);
    FileHandle file;
    if (!openExisting(path, file)) continue;  // moved on meanwhile: not a slot of this scan
    const std::optional<StagingLine> line = readStagingLine(file);
    file.close();
    if (!line || line->serverNumber > kMaxServerMessages) {
      deleteFileRetry(path);
      continue;
    }
    StagedSlot& entry = slots_[static_cast<std::size_t>(n)];
    entry.present = true;
    entry.state = *state;
    entry.size = line->size;
    entry.serverNumber = line->serverNumber;
  }
}

std::vector<int> StagingTable::unmatchedOfSize(std::uint32_t size) const {
  std::vector<int> found;
  for (int n = 0; n < kSlotCount; ++n) {
    const StagedSlot& slot = slots_[static_cast<std::size_t>(n)];
    if (slot.present && !slot.matched && slot.size == size) found.push_back(n);
  }
  return found;
}

bool StagingTable::anyUnmatched() const {
  return std::any_of(slots_.begin(), slots_.end(),
                     [](const StagedSlot& slot) { return slot.present && !slot.matched; });
}

std::vector<int> StagingTable::unmatched() const {
  std::vector<int> found;
  for (int n = 0; n < kSlotCount; ++n) {
    const StagedSlot& slot = slots_[static_cast<std::size_t>(n)];
    if (slot.present && !slot.matched) found.push_back(n);
  }
  return found;
}

std::optional<int> StagingTable::takeFree(const std::string& boxDir) {
  for (; nextFree_ < slots_.size(); ++nextFree_) {
    StagedSlot& slot = slots_[nextFree_];
    if (slot.present) continue;
    const int n = static_cast<int>(nextFree_);
    // A file that appeared since the scan must never be replaced.
    if (findSlot(boxDir, n)) {
      slot.present = true;
      slot.matched = true;
      continue;
    }
    slot.present = true;
    slot.matched = true;
    ++nextFree_;
    return n;
  }
  return std::nullopt;
}

}  // namespace qg
