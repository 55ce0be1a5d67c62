// The mail fetcher's table of the boxes it polls: one entry per valid box of
// the store (at most 256), its polling interval, when it was last fetched and
// whether it is due. The due test turns a check-now request (flag 44) and the
// intervals into due marks. Owned by the mail fetcher's thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/mail_store.h"

namespace qg {

// An entry whose boxNumber is kNoBoxEntry is empty.
inline constexpr std::uint16_t kNoBoxEntry = 65535;

// Bits of BoxEntry::state: the low bits hold "box.log" field 9 (1 to 3).
namespace box_state {
inline constexpr std::uint16_t kDue = 4;
// What clearing the due mark keeps: state AND 11.
inline constexpr std::uint16_t kKeepMask = 11;
}  // namespace box_state

// Times are microseconds of a monotonic clock (the table lives only in memory,
// so a clock set back or a change of the local time zone cannot hold a box).
inline constexpr std::int64_t kMicrosPerMinute = 60'000'000;
// A box is due this long before its interval has fully passed.
inline constexpr std::int64_t kDueSlackMicros = 30'000'000;

struct BoxEntry {
  std::uint16_t boxNumber = kNoBoxEntry;
  std::uint16_t pollMinutes = 0;  // "box.log" field 7; 0 = no timed polling
  std::int64_t lastCheck = 0;     // when the box was last fetched
  std::uint16_t state = 0;        // field 9 (low byte), with box_state::kDue

  bool exists() const { return boxNumber != kNoBoxEntry; }
  bool due() const { return (state & box_state::kDue) != 0; }
};

class BoxTable {
 public:
  static constexpr std::size_t kSize = kMaxScannedBoxes;

  // Fills the table from the valid boxes of storeDir in ascending number:
  // pollMinutes from field 7, state from field 9 with kDue added when field 12
  // (check at start) is set, lastCheck = now; the other entries are empty.
  // Returns the number of boxes found.
  std::size_t build(const std::string& storeDir, std::int64_t now);

  // A check-now request as flag 44 holds it: 1 marks every box due, k >= 2
  // marks entry k - 2 (an empty or missing entry is ignored), 0 nothing.
  void markRequested(std::int32_t request);
  // Marks due every box with an interval whose lastCheck is earlier than now
  // minus (interval - slack).
  void markDueByInterval(std::int64_t now, std::int64_t slackMicros);
  // True, with the entry marked due, when entry i has an interval that has
  // fully passed (no slack): the idle wait's test.
  bool markIfIntervalPassed(std::size_t i, std::int64_t now);
  // The OR of every entry's state shifted right by 2: 0 when no box is due.
  int dueBits() const;
  // Sets lastCheck and clears the due mark, keeping the other state bits.
  void finish(std::size_t i, std::int64_t now);

  const BoxEntry& operator[](std::size_t i) const { return entries_[i]; }
  BoxEntry& operator[](std::size_t i) { return entries_[i]; }
  std::size_t size() const { return entries_.size(); }

 private:
  std::array<BoxEntry, kSize> entries_{};
};

}  // namespace qg
