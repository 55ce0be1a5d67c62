// White-space clean-up of header and message text: dropping carriage returns
// and squeezing runs of white space. Bytes are unsigned: only 0x00-0x20 count
// as white space, never Cyrillic letters. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace qg {

// Removes every CR and turns every other byte below 0x20 except LF (zero
// bytes included) into a space. Resizes text and returns its new length.
std::size_t dropCarriageReturns(std::string& text);

// Removes the bytes 0x00-0x20 at the start and the end and turns every run of
// them inside the text into one space. Resizes text and returns its new length.
std::size_t squeezeSpaces(std::string& text);
// The same inside a span: the squeezed text is written from the span's start
// and its length returned; the bytes behind it are left as they were.
std::size_t squeezeSpacesInSpan(std::span<char> text);

}  // namespace qg
