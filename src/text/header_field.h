// Reads one named header field of a stored message file, with its folded
// continuation lines joined, its encoded words decoded to Windows-1251 and its
// white space squeezed. Any thread; the caller owns the open file and its
// position for the duration of the call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace qg {

// A header line is read up to and including its LF but at most this many
// bytes; the rest of a longer line is skipped, never taken as a line of its own.
inline constexpr std::size_t kHeaderLineLimit = 511;
// The value (continuation lines included) is cut at this many bytes.
inline constexpr std::size_t kHeaderValueLimit = 511;
// Continuation lines are only looked for while the value is shorter than this.
inline constexpr std::size_t kHeaderValueContinueBelow = 510;

// Looks for the field whose name equals name under the name comparison of
// sameName ("Subject" finds "SUBJECT:" but not "Subjects:"), from the start of
// the file to the empty line that ends the header (LF alone or CR LF) or the
// end of the file. Lines that begin with a byte 0x20 or lower continue the
// line before and belong to the value; the empty line always ends it.
// Returns 1 with the decoded, squeezed value in value; 0 with value empty when
// the header has no such field or the file cannot be read. The file position
// afterwards is unspecified.
int readHeaderField(platform::File& file, std::string_view name, std::string& value);

}  // namespace qg
