// The constant tables behind the character-set conversions: the five 8-bit
// Cyrillic charsets to Windows-1251, the UTF-8 forms of Windows-1251, Unicode
// to Windows-1251, Windows-1251 to KOI8-R, upper case, and the published code
// points of Windows-1251 for display. Read-only; any thread.
#pragma once

#include <array>
#include <cstdint>

namespace qg {

// Source bytes 0x80-0xFF to Windows-1251, one row per charset index 1 to 5
// (KOI8-U, KOI8-R, IBM866, ISO-8859-5, Mac Cyrillic): row index - 1. The rows
// keep the analysis' own choices where they differ from the published pages.
extern const std::array<std::array<std::uint8_t, 128>, 5> kEightBitTo1251;
// The same rows over all 256 bytes (bytes below 0x80 map to themselves), so a
// conversion needs no branch per byte.
extern const std::array<std::array<std::uint8_t, 256>, 5> kEightBitTo1251Full;

// UTF-8 form of each Windows-1251 byte 0x80-0xFF: two bytes and a zero, or
// three bytes; 0x98 has none (all zero). Deliberate differences from the
// published page: 0xA5 reads D0 89, 0xB5 reads C2 85, 0xB6 reads C2 86.
extern const std::array<std::array<std::uint8_t, 3>, 128> kUtf8Forms;

// The first entry of kUtf8Forms (as 0x80 + entry) that a UTF-8 sequence hits,
// precomputed from kUtf8Forms so that a lookup costs one index: for a two-byte
// entry by [lead - 0xC0][second - 0x80], for a three-byte entry (all of them
// begin with E2) by [second - 0x80][third - 0x80]. Zero means no entry.
extern const std::array<std::array<std::uint8_t, 64>, 32> kUtf8TwoByteIndex;
extern const std::array<std::array<std::uint8_t, 64>, 64> kUtf8E2Index;
inline constexpr std::uint8_t kUtf8ThreeByteLead = 0xE2;

// Unicode characters 0x400-0x49F to Windows-1251; a space where there is none.
inline constexpr std::uint32_t kUnicodeTableFirst = 0x400;
inline constexpr std::uint32_t kUnicodeTableEnd = 0x4A0;
extern const std::array<std::uint8_t, kUnicodeTableEnd - kUnicodeTableFirst> kUnicodeTo1251;

// Windows-1251 to KOI8-R for outgoing mail; the Ukrainian letters become Latin
// look-alikes because KOI8-R has no place for them.
extern const std::array<std::uint8_t, 256> kWindows1251ToKoi8r;

// Windows-1251 upper case, Cyrillic included; used instead of any locale.
extern const std::array<std::uint8_t, 256> kUpperCase1251;

// Published Unicode code points of Windows-1251 bytes 0x80-0xFF (0x98, which
// the page leaves undefined, reads U+FFFD). Only for display conversions.
extern const std::array<std::uint16_t, 128> kWindows1251CodePoints;

}  // namespace qg
