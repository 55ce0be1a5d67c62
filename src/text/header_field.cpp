#include "text/header_field.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "text/charsets.h"
#include "text/encoded_word.h"
#include "text/white_space.h"

namespace qg {
namespace {

// Buffered line reader over a File, for one readHeaderField call.
class LineReader {
 public:
  explicit LineReader(platform::File& file) : file_(file) {}

  // Reads the next line up to and including LF. At most limit bytes are kept;
  // the rest of a longer line is read and thrown away. False at the end of the
  // file (or on a read error) when no byte was read.
  bool next(std::string& line, std::size_t limit) {
    line.clear();
    bool any = false;
    for (;;) {
      if (position_ == length_ && !fill()) return any;
      any = true;
      const char c = buffer_[position_++];
      if (line.size() < limit) line.push_back(c);
      if (c == '\n') return true;
    }
  }

 private:
  bool fill() {
    const long count = file_.read(buffer_.data(), buffer_.size());
    if (count <= 0) return false;
    position_ = 0;
    length_ = static_cast<std::size_t>(count);
    return true;
  }

  platform::File& file_;
  std::array<char, 4096> buffer_{};
  std::size_t position_ = 0;
  std::size_t length_ = 0;
};

bool endsHeader(std::string_view line) {
  return line == "\n" || line == "\r\n";
}

bool beginsContinuation(std::string_view line) {
  return static_cast<std::uint8_t>(line.front()) <= 0x20;
}

}  // namespace

int readHeaderField(platform::File& file, std::string_view name, std::string& value) {
  value.clear();
  if (!file.seek(0)) return 0;
  LineReader reader(file);
  std::string line;
  while (reader.next(line, kHeaderLineLimit)) {
    if (endsHeader(line)) return 0;
    if (beginsContinuation(line)) continue;
    const std::size_t stop = line.find_first_of(" :");
    if (stop == std::string::npos || line[stop] != ':') continue;
    if (sameName(std::string_view(line).substr(0, stop), name) != 0) continue;

    value.assign(line, stop + 1);
    while (value.size() < kHeaderValueContinueBelow) {
      if (!reader.next(line, kHeaderValueLimit - value.size())) break;
      if (!beginsContinuation(line) || endsHeader(line)) break;
      value += line;
    }
    decodeEncodedWords(std::span<char>(value));
    squeezeSpaces(value);
    return 1;
  }
  return 0;
}

}  // namespace qg
