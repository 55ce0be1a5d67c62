#include "retrieval/box_table.h"

namespace qg {

std::size_t BoxTable::build(const std::string& storeDir, std::int64_t now) {
  entries_.fill(BoxEntry{});
  std::size_t count = 0;
  scanBoxes(storeDir, [&](int number, RecordFile& record) {
    BoxEntry& entry = entries_[count++];
    entry.boxNumber = static_cast<std::uint16_t>(number);
    entry.pollMinutes = static_cast<std::uint16_t>(record.getShort(box_field::kInterval));
    entry.state = record.getByte(box_field::kOption);
    if (record.getFlag(box_field::kCheckAtStart)) entry.state |= box_state::kDue;
    entry.lastCheck = now;
    return count < entries_.size();
  });
  return count;
}

void BoxTable::markRequested(std::int32_t request) {
  if (request == 1) {
    for (BoxEntry& entry : entries_) {
      if (entry.exists()) entry.state |= box_state::kDue;
    }
  } else if (request >= 2 && static_cast<std::size_t>(request - 2) < entries_.size()) {
    BoxEntry& entry = entries_[static_cast<std::size_t>(request - 2)];
    if (entry.exists()) entry.state |= box_state::kDue;
  }
}

void BoxTable::markDueByInterval(std::int64_t now, std::int64_t slackMicros) {
  for (BoxEntry& entry : entries_) {
    if (!entry.exists() || entry.pollMinutes == 0) continue;
    if (entry.lastCheck < now - (entry.pollMinutes * kMicrosPerMinute - slackMicros)) {
      entry.state |= box_state::kDue;
    }
  }
}

bool BoxTable::markIfIntervalPassed(std::size_t i, std::int64_t now) {
  BoxEntry& entry = entries_[i];
  if (!entry.exists() || entry.pollMinutes == 0) return false;
  if (entry.lastCheck >= now - entry.pollMinutes * kMicrosPerMinute) return false;
  entry.state |= box_state::kDue;
  return true;
}

int BoxTable::dueBits() const {
  int bits = 0;
  for (const BoxEntry& entry : entries_) bits |= entry.state;
  return bits >> 2;
}

void BoxTable::finish(std::size_t i, std::int64_t now) {
  entries_[i].lastCheck = now;
  entries_[i].state &= box_state::kKeepMask;
}

}  // namespace qg
