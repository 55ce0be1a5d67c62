// Lines of a stored message that hold only ".": sent as they stand, such a
// line would end a POP3 transfer early and the rest of the message would be
// read as replies. The local POP3 server blanks them in the file before it
// sends or identifies a message. Pure finder; blankLoneDots works on a file the
// caller holds open. Local POP3 server thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/file_primitives.h"

namespace qg {

// Finds, in bytes fed piece by piece, the position of every "." that is a
// whole line: after CR LF (or at the very start) and before CR LF (or at the
// very end, see finish).
class LoneDotFinder {
 public:
  // Appends to found the stream positions of the lone dots that bytes complete.
  void feed(std::string_view bytes, std::vector<std::int64_t>& found);
  // The stream has ended: a "." that stands after the last CR LF is a lone
  // dot too (the terminating line would follow it at once).
  void finish(std::vector<std::int64_t>& found);

 private:
  enum class At { LineStart, InLine, Cr, Dot, DotCr };
  At at_ = At::LineStart;
  std::int64_t position_ = 0;
  std::int64_t dot_ = 0;
};

// Overwrites the "." of every lone-dot line of file with a space, in place.
// Returns the count blanked, or -1 when the file cannot be read or written.
int blankLoneDots(FileHandle& file);

}  // namespace qg
