// Character sets: charset names in header text, conversion of the Cyrillic
// charsets to Windows-1251 in place, the Unicode and KOI8-R mappings, the
// Windows-1251 upper case, the two case-insensitive comparisons the analysis
// uses, and the display conversions between Windows-1251 and UTF-8.
// Pure functions over caller-owned text; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qg {

// Charset indexes of toWindows1251.
inline constexpr int kCharsetNoConversion = 0;
inline constexpr int kCharsetKoi8u = 1;
inline constexpr int kCharsetKoi8r = 2;
inline constexpr int kCharsetIbm866 = 3;
inline constexpr int kCharsetIso88595 = 4;
inline constexpr int kCharsetMacCyrillic = 5;
inline constexpr int kCharsetUtf8 = 6;

// Charset flags that recogniseCharset adds to a part's flags.
inline constexpr std::uint32_t kCharsetFlagNoConversion = 0x8;
inline constexpr std::uint32_t kCharsetFlagKoi8u = 0x10;
inline constexpr std::uint32_t kCharsetFlagKoi8r = 0x20;
inline constexpr std::uint32_t kCharsetFlagIbm866 = 0x40;
inline constexpr std::uint32_t kCharsetFlagIso88595 = 0x80;
inline constexpr std::uint32_t kCharsetFlagMacCyrillic = 0x100;
inline constexpr std::uint32_t kCharsetFlagUtf8 = 0x100000;

// Byte that marks the following byte as already converted: toWindows1251 drops
// it and copies the next byte unchanged.
inline constexpr char kConvertedMarker = 0x01;

// Name comparison: compares the first (shorter length + 1) bytes of both texts
// (the end of a text reads as a zero byte) after clearing bit 5 of each byte.
// A text ends at its end or at its first zero byte. Returns 0 when equal.
// So letters match in either case and a space matches the end of a text.
int sameName(std::string_view a, std::string_view b);

// Windows-1251 upper case of one byte (ASCII and Cyrillic letters), and of a
// whole text in place. Never depends on the process locale.
std::uint8_t upperCase1251(std::uint8_t byte);
void upperCase1251(std::span<char> text);

// True when text (up to its end or first zero byte) begins with word (likewise)
// once both are upper-cased with upperCase1251. An empty word begins any text.
bool startsWithWord(std::string_view text, std::string_view word);

// Tries the known charset names (bare, then in double quotes) at text[position]
// with the name comparison, so a name must be followed by the end of the text,
// a zero byte or a space. On the first match adds the name's flag to flags,
// advances position and counter by the length of the name as written (quotes
// included) and returns true. Otherwise changes nothing and returns false.
bool recogniseCharset(std::string_view text, std::size_t& position, std::uint32_t& flags,
                      std::size_t& counter);

// Charset index for the charset name of an encoded word, or nullopt when the
// word must stay undecoded.
std::optional<int> encodedWordCharset(std::string_view name);

// Converts text (up to its end or its first zero byte) from the charset with
// the given index to Windows-1251 in place. The length never changes: when the
// result is shorter (UTF-8, dropped markers) the rest is filled with spaces.
// A kConvertedMarker byte is dropped and the byte after it copied unchanged.
// An index outside 0-6 converts like 0 (markers only).
void toWindows1251(std::span<char> text, int charsetIndex);

// Windows-1251 byte of a Unicode character number: below 256 the number
// itself, 0x400-0x49F the Cyrillic table (a space where it has no byte), a
// space for anything else.
std::uint8_t unicodeTo1251(std::uint32_t character);

// KOI8-R byte for a Windows-1251 byte (outgoing mail).
std::uint8_t toKoi8r(std::uint8_t byte);

// Display conversions with the published Windows-1251 code page (none of the
// analysis' deliberate table differences). windows1251ToUtf8 shows the
// undefined byte 0x98 as U+FFFD. utf8ToWindows1251 gives '?' for each
// character Windows-1251 lacks and for each byte of invalid UTF-8 (overlong
// forms, surrogates and values above U+10FFFF are invalid). Zero bytes pass.
std::string windows1251ToUtf8(std::string_view text);
std::string utf8ToWindows1251(std::string_view text);

}  // namespace qg
