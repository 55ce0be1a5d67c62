// HTML stripping for the MIME decoder: tags and style sheets become spaces,
// character entities become their Windows-1251 bytes, in place and without
// changing the text's length. Pure functions over caller-owned text; any
// thread.
#pragma once

#include <cstddef>
#include <span>

namespace qg {

// Strips the whole span as HTML. Text outside tags and STYLE elements (the
// element name in any letter case) is moved to the front; everything consumed
// behind it becomes spaces. "&lt;", "&gt;", "&amp;" and "&quot;" (lower case
// only) give their character, any other named entity one space; a numeric
// entity ("&#1040;", "&#x410;") ended by ";" gives kConvertedMarker followed by
// its Windows-1251 byte (unicodeTo1251; a character number of 0 or above
// 0x10FFFF gives a space), so the charset conversion after it leaves the byte
// alone. Returns the number of bytes written at the front.
std::size_t stripHtml(std::span<char> text);

// Strips, as stripHtml does, every stretch of text from "<HTML>" or "<html>"
// through the next "</HTML>" or "</html>" behind it (those two spellings
// only), left to right: for a plain-text part that carries an HTML document.
// A start tag without an end tag behind it ends the search. Returns the number
// of stretches stripped.
int stripEmbeddedHtml(std::span<char> text);

}  // namespace qg
