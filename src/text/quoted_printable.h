// Quoted-printable decoding in place for message parts: "=XX" escapes and soft
// line breaks. The decoded bytes are written from the start of the text and
// every byte read behind them becomes a space, so the text keeps its length.
// Pure function over caller-owned text; any thread.
#pragma once

#include <cstddef>
#include <span>

namespace qg {

// Decodes the whole span (zero bytes included) in place. "=" and two hex
// digits (either case) give that byte, except that a zero byte is written as
// a space so that decoded text can never end the text early for the steps
// after it; "=" followed by LF is a soft line break and gives nothing; every
// other byte, a lone "=" included, is copied. Returns the number of bytes
// written; the rest of the span is spaces.
std::size_t decodeQuotedPrintable(std::span<char> text);

}  // namespace qg
