// The blocklist zone table: 50 slots of a zone host name and 32 answer codes.
// Slots 0 and 1 are the built-in zones, 10 to 49 come from the user's
// "dnsbl.txt" in the program directory. A blocklist rule of type 16 + s asks
// the zone of slot s. Pure data and a reader; any thread, one object per thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

inline constexpr std::size_t kZoneSlots = 50;
// Longest zone host name a slot keeps (a request has 50 columns for it).
inline constexpr std::size_t kZoneHostMax = 49;
inline constexpr std::size_t kZoneCodes = 32;
// dnsbl.txt entries go to slots 10 to 49, at most 40 of them.
inline constexpr std::size_t kFirstListedZoneSlot = 10;
inline constexpr std::size_t kMaxListedZones = 40;
// dnsbl.txt lines are read up to this many bytes; the rest of a longer line is skipped.
inline constexpr std::size_t kZoneListLineMax = 999;
inline constexpr std::string_view kZoneListFile = "dnsbl.txt";

// The two built-in zones.
inline constexpr std::string_view kBuiltinZone0Host = "zen.spamhaus.org";
inline constexpr std::string_view kBuiltinZone0Name = "Spamhaus SBL+XBL";
inline constexpr std::string_view kBuiltinZone1Host = "bl.spamcop.net";
inline constexpr std::string_view kBuiltinZone1Name = "SpamCop";
// Prefix of every line of the zone choice ("%s %s" with the zone's name).
inline constexpr std::string_view kZoneChoicePrefix = "DNSBL";

struct ZoneSlot {
  std::string host;  // at most kZoneHostMax bytes; empty: the slot is unused
  std::string name;  // what the zone choice shows after the prefix
  std::array<std::uint8_t, kZoneCodes> codes{};  // 0 = unused code
};

struct ZoneTable {
  std::array<ZoneSlot, kZoneSlots> slots;
};

// One complete "dnsbl.txt" entry (NAME, ZONE and CODE lines), already cut to
// the table's limits: host at most kZoneHostMax bytes, at most kZoneCodes codes.
struct ZoneListEntry {
  std::string name;
  std::string host;
  std::vector<std::uint8_t> codes;
};

// Reads "dnsbl.txt" bytes given in pieces of any size; the result does not
// depend on where the pieces split. Lines end at LF; a line ends early at a
// zero byte and is cut at kZoneListLineMax bytes. After NAME comes the next
// ZONE line, then the next CODE line (keywords are the first four bytes,
// case counts; other lines in between are skipped); the value is the rest of
// the line trimmed of blanks and control bytes. An entry with an empty ZONE
// value is dropped. CODE values are ";"-separated decimal numbers 0-255 (each
// trimmed of blanks), read up to the first item that is not one.
class ZoneListReader {
 public:
  void feed(std::string_view bytes);
  // Ends the input (a last line without LF counts). Entries still waiting for
  // their ZONE or CODE line are dropped.
  void finish();
  // True once kMaxListedZones entries are in; further input is ignored.
  bool full() const { return entries_.size() >= kMaxListedZones; }
  const std::vector<ZoneListEntry>& entries() const { return entries_; }

 private:
  enum class Awaiting { Name, Zone, Code };
  void takeLine(std::string_view line);

  Awaiting awaiting_ = Awaiting::Name;
  ZoneListEntry pending_;
  std::string line_;
  bool skippingRest_ = false;  // inside a line already cut or ended by a zero byte
  std::vector<ZoneListEntry> entries_;
};

// The entries of a whole "dnsbl.txt" text (at most kMaxListedZones).
std::vector<ZoneListEntry> parseZoneList(std::string_view text);

// The table with slots 0 and 1 filled (slot 0: codes 2, 4, 5, 6; slot 1:
// code 2) and every other slot empty.
ZoneTable builtinZoneTable();

// The built-in table plus the entries of programDir/"dnsbl.txt" in slots 10
// onwards. A missing or unreadable file gives the built-in table alone.
ZoneTable loadZoneTable(const std::string& programDir);

// Places entries in slots 10 onwards of table (at most kMaxListedZones) and
// empties the slots after them.
void placeListedZones(ZoneTable& table, const std::vector<ZoneListEntry>& entries);

// The text the zone choice and a blocklist rule show for slot: the prefix, a
// blank and the zone's name.
std::string zoneChoiceText(const ZoneSlot& slot);

}  // namespace qg
