// Character sets: charset names in header text, conversion of the Cyrillic
// charsets to Windows-1251 in place, the Unicode and KOI8-R mappings, and the
// two case-insensitive comparisons the analysis uses. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace qg {

// Name comparison: compares the first (shorter length + 1) bytes of both texts
// (the end of a text reads as a zero byte) after clearing bit 5 of each byte.
// A text ends at its end or at its first zero byte. Returns 0 when equal.
int sameName(std::string_view a, std::string_view b);

}  // namespace qg
