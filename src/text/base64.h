// Base64 decoding in place for message parts. The decoded bytes are written
// from the start of the text and the rest of what was read becomes spaces, so
// the text keeps its length. Pure function over caller-owned text; any thread.
#pragma once

#include <span>

namespace qg {

// Decodes the base64 text in place. The text ends at the end of the span or
// at its first zero byte; bytes below 0x22 (line breaks, spaces, control
// bytes) are skipped. Groups of four characters give three bytes; "=" as the
// third character gives one byte and ends, "=" as the fourth gives two and
// ends; an incomplete last group gives nothing. Afterwards every byte from the
// end of the output to the end of what was read becomes a space. Only the
// first 2^31 - 1 bytes of a larger span are read.
// Returns the number of decoded bytes, or -1 at a character outside the
// alphabet (the bytes written so far stay; the rest is left as it was).
int decodeBase64(std::span<char> text);

}  // namespace qg
