// Encoded words of header fields ("=?charset?B?...?=" and "=?charset?Q?...?="):
// decoding in place to Windows-1251 without changing the text's length, and
// encoding Windows-1251 text as KOI8-R B words for the program's own mail.
// Pure functions over caller-owned text; any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace qg {

// Decodes the encoded word that starts with "=?" at text[position]. The text
// ends at the end of the span or at its first zero byte; nothing outside it is
// read or written. The decoded bytes, converted to Windows-1251, stand where
// the payload stood, followed by spaces to the payload's end; the opening
// ("=?charset?B?") and the closing "?=" become spaces. A decoded zero byte is
// written as a space so that a word cannot end the text early.
// Returns 1 when a word was decoded, 0 when the text there is not a decodable
// word (unknown charset, bad encoding letter, bad payload, no closing "?="); the
// text is then unchanged.
int decodeEncodedWord(std::span<char> text, std::size_t position);

// Decodes every encoded word of text (up to its end or first zero byte) from
// left to right, going on behind each decoded word, so decoded text is never
// decoded again. Returns the number of words decoded.
int decodeEncodedWords(std::span<char> text);

// The Windows-1251 text (up to its end or first zero byte) converted to KOI8-R
// and base64-encoded as "=?koi8-r?B?...?=" words of at most 15 groups (45
// input bytes) each; words after the first are preceded by "?=" CR LF TAB,
// which closes the one before. Every text is encoded, plain ASCII too. An
// empty text gives an empty result (no word), since an encoded word must
// hold at least one character.
std::string encodeKoi8rWords(std::string_view windows1251Text);

}  // namespace qg
