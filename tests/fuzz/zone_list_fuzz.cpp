// The "dnsbl.txt" reader on arbitrary bytes: every entry stays within the
// table's limits, and feeding the text in two pieces split at any point gives
// the same entries as feeding it whole.
#include <cstdint>
#include <string_view>

#include "engine/zone_table.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool sameEntries(const std::vector<qg::ZoneListEntry>& a, const std::vector<qg::ZoneListEntry>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k].name != b[k].name || a[k].host != b[k].host || a[k].codes != b[k].codes) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<qg::ZoneListEntry> whole = qg::parseZoneList(text);
  check(whole.size() <= qg::kMaxListedZones);
  for (const qg::ZoneListEntry& entry : whole) {
    check(!entry.host.empty() && entry.host.size() <= qg::kZoneHostMax);
    check(entry.name.size() <= qg::kZoneListLineMax);
    check(entry.codes.size() <= qg::kZoneCodes);
  }

  const std::size_t split = size == 0 ? 0 : data[0] * size / 256;
  qg::ZoneListReader pieces;
  pieces.feed(text.substr(0, split));
  pieces.feed(text.substr(split));
  pieces.finish();
  check(sameEntries(pieces.entries(), whole));

  qg::ZoneTable table = qg::builtinZoneTable();
  qg::placeListedZones(table, whole);
  for (std::size_t k = 0; k < qg::kMaxListedZones; ++k) {
    const qg::ZoneSlot& slot = table.slots[qg::kFirstListedZoneSlot + k];
    check(slot.host == (k < whole.size() ? whole[k].host : std::string()));
  }
  return 0;
}
