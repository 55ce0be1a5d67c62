// The staging slots of one box during one fetch: which slots hold a message
// seen before (with the size its record line gives), which of them the
// server's list has matched in this fetch, and which slots are free for new
// messages. Built by scanning the box's TMP folder while the analysis worker
// is paused. Local to the mail fetcher's thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/mail_store.h"

namespace qg {

// Server messages beyond this number are not looked at in a fetch.
inline constexpr int kMaxServerMessages = kSlotCount;

struct StagedSlot {
  bool present = false;  // a staging file with a valid record line
  bool matched = false;  // matched with a server message in this fetch
  SlotState state = SlotState::New;
  std::uint32_t size = 0;          // LIST size of the record line
  std::uint16_t serverNumber = 0;  // server number of the record line
};

class StagingTable {
 public:
  // Reads every staging file of boxDir/TMP ("%08d." and a state name): one
  // whose record line is damaged, or whose server number lies beyond
  // kMaxServerMessages, is deleted (its message is staged again as new);
  // the others are entered as present and unmatched. When a slot has files
  // in several states, the first in lookup order counts (as slotPath finds
  // it); other names in TMP are left alone.
  void scan(const std::string& boxDir);

  // Slots present, not yet matched, whose size is size, in slot order.
  std::vector<int> unmatchedOfSize(std::uint32_t size) const;
  bool anyUnmatched() const;
  void markMatched(int slot) { slots_[static_cast<std::size_t>(slot)].matched = true; }
  // Slots present but left unmatched: their messages are gone from the server.
  std::vector<int> unmatched() const;
  // Forgets a slot whose file was removed.
  void release(int slot) { slots_[static_cast<std::size_t>(slot)] = StagedSlot{}; }

  // The lowest slot that holds no staging file, taken for a new message (it
  // counts as present and matched from now on); nullopt when all are in use.
  std::optional<int> takeFree(const std::string& boxDir);

  const StagedSlot& operator[](int slot) const { return slots_[static_cast<std::size_t>(slot)]; }

 private:
  std::array<StagedSlot, kSlotCount> slots_{};
  std::size_t nextFree_ = 0;  // no free slot lies below it
};

}  // namespace qg
