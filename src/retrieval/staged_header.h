// Telling two staged messages of the same size apart: the fetcher compares
// the header it has just received with each staged one, from behind the
// 50-byte record line up to the empty line that ends the header. Used on the
// mail fetcher's thread; each file is held open only for the comparison.
#pragma once

#include <string>

namespace qg {

// True when the headers of the two staging files are the same. Both files are
// read from byte 50 in step: "same" when either file reaches an empty line
// (its next two bytes are LF followed by CR or LF) or both end together;
// "different" at the first differing byte, when only one ends, or when a
// file cannot be opened. When the flag word of either file's record line
// (where it is valid) carries staging::kSubjectMarked, header lines beginning
// with "Subject:" are passed over in both files, with their folded
// continuation lines, and with staging::kVerdictLineAdded those beginning
// with "X-QG:" (letter case aside): a delivered message is compared with its
// server copy as it was before the marks.
bool sameStagedHeader(const std::string& first, const std::string& second);

}  // namespace qg
