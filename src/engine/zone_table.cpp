#include "engine/zone_table.h"

#include <algorithm>

#include "platform/file.h"

namespace qg {

namespace {

constexpr std::size_t kReadChunk = 4096;

bool isBlankOrControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7F;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

// A code item: 1 or more decimal digits with a value of at most 255.
bool parseCode(std::string_view item, std::uint8_t& code) {
  item = trimmed(item);
  if (item.empty()) return false;
  unsigned value = 0;
  for (const char c : item) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 255) return false;
  }
  code = static_cast<std::uint8_t>(value);
  return true;
}

std::vector<std::uint8_t> parseCodes(std::string_view value) {
  std::vector<std::uint8_t> codes;
  while (codes.size() < kZoneCodes) {
    const std::size_t end = value.find(';');
    std::uint8_t code = 0;
    if (!parseCode(value.substr(0, end), code)) break;
    codes.push_back(code);
    if (end == std::string_view::npos) break;
    value.remove_prefix(end + 1);
  }
  return codes;
}

void fillSlot(ZoneSlot& slot, std::string_view host, std::string_view name,
              std::initializer_list<std::uint8_t> codes) {
  slot.host = host;
  slot.name = name;
  slot.codes = {};
  std::copy(codes.begin(), codes.end(), slot.codes.begin());
}

}  // namespace

void ZoneListReader::feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (full()) return;
    if (c == '\n') {
      takeLine(line_);
      line_.clear();
      skippingRest_ = false;
    } else if (skippingRest_) {
      continue;
    } else if (c == '\0' || line_.size() == kZoneListLineMax) {
      skippingRest_ = true;
    } else {
      line_.push_back(c);
    }
  }
}

void ZoneListReader::finish() {
  if (!full() && (!line_.empty() || skippingRest_)) takeLine(line_);
  line_.clear();
  skippingRest_ = false;
  awaiting_ = Awaiting::Name;
  pending_ = ZoneListEntry();
}

void ZoneListReader::takeLine(std::string_view line) {
  constexpr std::size_t kKeywordBytes = 4;
  const std::string_view keyword = line.substr(0, std::min(line.size(), kKeywordBytes));
  const std::string_view value = trimmed(line.substr(std::min(line.size(), kKeywordBytes)));
  switch (awaiting_) {
    case Awaiting::Name:
      if (keyword != "NAME") return;
      pending_ = ZoneListEntry();
      pending_.name = value;
      awaiting_ = Awaiting::Zone;
      return;
    case Awaiting::Zone:
      if (keyword != "ZONE") return;
      pending_.host = value.substr(0, kZoneHostMax);
      awaiting_ = Awaiting::Code;
      return;
    case Awaiting::Code:
      if (keyword != "CODE") return;
      pending_.codes = parseCodes(value);
      // A zone without a host name cannot be asked; it would only queue
      // requests that never get an answer.
      if (!pending_.host.empty()) entries_.push_back(std::move(pending_));
      pending_ = ZoneListEntry();
      awaiting_ = Awaiting::Name;
      return;
  }
}

std::vector<ZoneListEntry> parseZoneList(std::string_view text) {
  ZoneListReader reader;
  reader.feed(text);
  reader.finish();
  return reader.entries();
}

ZoneTable builtinZoneTable() {
  ZoneTable table;
  fillSlot(table.slots[0], kBuiltinZone0Host, kBuiltinZone0Name, {2, 4, 5, 6});
  fillSlot(table.slots[1], kBuiltinZone1Host, kBuiltinZone1Name, {2});
  return table;
}

void placeListedZones(ZoneTable& table, const std::vector<ZoneListEntry>& entries) {
  for (std::size_t k = 0; k < kMaxListedZones; ++k) {
    ZoneSlot& slot = table.slots[kFirstListedZoneSlot + k];
    slot = ZoneSlot();
    if (k >= entries.size()) continue;
    const ZoneListEntry& entry = entries[k];
    slot.host = entry.host.substr(0, kZoneHostMax);
    slot.name = entry.name;
    std::copy_n(entry.codes.begin(), std::min(entry.codes.size(), kZoneCodes), slot.codes.begin());
  }
}

ZoneTable loadZoneTable(const std::string& programDir) {
  ZoneTable table = builtinZoneTable();
  platform::File file = platform::openShared(programDir + "/" + std::string(kZoneListFile));
  if (!file.isOpen()) return table;
  ZoneListReader reader;
  std::string chunk(kReadChunk, '\0');
  while (!reader.full()) {
    const long n = file.read(chunk.data(), chunk.size());
    if (n <= 0) break;
    reader.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
  }
  reader.finish();
  placeListedZones(table, reader.entries());
  return table;
}

std::string zoneChoiceText(const ZoneSlot& slot) {
  std::string text(kZoneChoicePrefix);
  text += ' ';
  text += slot.name;
  return text;
}

}  // namespace qg
