#include "netsvc/lone_dot_lines.h"

#include <array>

namespace qg {

void LoneDotFinder::feed(std::string_view bytes, std::vector<std::int64_t>& found) {
  for (const char c : bytes) {
    switch (at_) {
      case At::LineStart:
        if (c == '.') {
          at_ = At::Dot;
          dot_ = position_;
        } else {
          at_ = c == '\r' ? At::Cr : At::InLine;
        }
        break;
      case At::InLine:
        if (c == '\r') at_ = At::Cr;
        break;
      case At::Cr:
        at_ = c == '\n' ? At::LineStart : (c == '\r' ? At::Cr : At::InLine);
        break;
      case At::Dot:
        at_ = c == '\r' ? At::DotCr : At::InLine;
        break;
      case At::DotCr:
        if (c == '\n') {
          found.push_back(dot_);
          at_ = At::LineStart;
        } else {
          at_ = c == '\r' ? At::Cr : At::InLine;
        }
        break;
    }
    ++position_;
  }
}

void LoneDotFinder::finish(std::vector<std::int64_t>& found) {
  if (at_ == At::Dot) found.push_back(dot_);
  at_ = At::LineStart;
}

namespace {

// Blanks the dots found so far and forgets them, so a message of nothing but
// dot lines never needs more than one piece's worth of positions.
bool blankFound(FileHandle& file, std::vector<std::int64_t>& found, int& count) {
  for (const std::int64_t position : found) {
    if (!file.seek(position) || !writeByte(file, ' ')) return false;
  }
  count += static_cast<int>(found.size());
  found.clear();
  return true;
}

}  // namespace

int blankLoneDots(FileHandle& file) {
  if (!file.seek(0)) return -1;
  LoneDotFinder finder;
  std::vector<std::int64_t> found;
  std::array<char, 65536> buffer;
  std::int64_t readTo = 0;
  int count = 0;
  for (;;) {
    const long got = file.read(buffer.data(), buffer.size());
    if (got < 0) return -1;
    if (got == 0) break;
    readTo += got;
    finder.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)), found);
    if (!found.empty() && (!blankFound(file, found, count) || !file.seek(readTo))) return -1;
  }
  finder.finish(found);
  return blankFound(file, found, count) ? count : -1;
}

}  // namespace qg
