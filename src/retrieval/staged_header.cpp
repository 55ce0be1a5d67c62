#include "retrieval/staged_header.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/staging_line.h"
#include "text/charsets.h"

namespace qg {

namespace {

// Reads a file in blocks and gives its bytes one by one, with one byte of
// look-ahead for the empty-line test.
class ByteReader {
 public:
  static constexpr std::size_t kBlock = 16 * 1024;

  explicit ByteReader(FileHandle& file) : file_(file), buffer_(kBlock) {}

  // The byte at offset ahead (0 or 1) from the current one, or -1 past the end.
  int peek(std::size_t ahead) {
    while (next_ + ahead >= size_) {
      if (ended_ || !refill()) return -1;
    }
    return static_cast<unsigned char>(buffer_[next_ + ahead]);
  }
  void advance() { ++next_; }

 private:
  bool refill() {
    // Keep the bytes not yet taken, then read behind them.
    std::size_t kept = size_ - next_;
    for (std::size_t i = 0; i < kept; ++i) buffer_[i] = buffer_[next_ + i];
    next_ = 0;
    size_ = kept;
    long got = file_.read(buffer_.data() + size_, buffer_.size() - size_);
    if (got <= 0) {
      ended_ = true;
      return false;
    }
    size_ += static_cast<std::size_t>(got);
    return true;
  }

  FileHandle& file_;
  std::vector<char> buffer_;
  std::size_t next_ = 0;
  std::size_t size_ = 0;
  bool ended_ = false;
};

bool isLineEnd(int c) {
  return c == '\r' || c == '\n';
}

bool atEmptyLine(ByteReader& reader) {
  return reader.peek(0) == '\n' && isLineEnd(reader.peek(1));
}

// The lines the analysis changes when it marks a message for delivery.
struct MarkedLines {
  bool subject = false;
  bool verdict = false;
};

MarkedLines markedLines(FileHandle& file) {
  const std::optional<StagingLine> line = readStagingLine(file);
  if (!line) return {};
  return {(line->flags & staging::kSubjectMarked) != 0,
          (line->flags & staging::kVerdictLineAdded) != 0};
}

bool lineBegins(ByteReader& reader, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const int c = reader.peek(i);
    if (c < 0 || upperCase1251(static_cast<std::uint8_t>(c)) != static_cast<std::uint8_t>(name[i]))
      return false;
  }
  return true;
}

bool isFoldedLine(ByteReader& reader) {
  const int c = reader.peek(0);
  return c == ' ' || c == '\t';
}

// Passes over the rest of the line and its LF; false at the end of the file.
bool passLine(ByteReader& reader) {
  int c = reader.peek(0);
  while (c >= 0 && c != '\n') {
    reader.advance();
    c = reader.peek(0);
  }
  if (c < 0) return false;
  reader.advance();
  return true;
}

// At the start of a line (just behind its LF): passes over every line the
// marks may have changed, the folded continuation lines of a marked line
// included (a marker put after the text sits on the last of them, and one
// that replaces the text drops them). True when an empty line follows the
// lines passed over, which ends the header as an empty line always does.
bool passMarkedLines(ByteReader& reader, const MarkedLines& marked) {
  bool passed = false;
  while ((marked.subject && lineBegins(reader, "SUBJECT:")) ||
         (marked.verdict && lineBegins(reader, "X-QG:"))) {
    passed = true;
    do {
      if (!passLine(reader)) return false;
    } while (isFoldedLine(reader));
  }
  return passed && isLineEnd(reader.peek(0));
}

}  // namespace

bool sameStagedHeader(const std::string& first, const std::string& second) {
  FileHandle a;
  FileHandle b;
  if (!openExisting(first, a) || !openExisting(second, b)) return false;
  const MarkedLines fromA = markedLines(a);
  const MarkedLines fromB = markedLines(b);
  const MarkedLines marked{fromA.subject || fromB.subject, fromA.verdict || fromB.verdict};
  if (!a.seek(kStagingLineBytes) || !b.seek(kStagingLineBytes)) return false;
  ByteReader left(a);
  ByteReader right(b);
  if (passMarkedLines(left, marked) || passMarkedLines(right, marked)) return true;
  for (;;) {
    if (atEmptyLine(left) || atEmptyLine(right)) return true;
    const int x = left.peek(0);
    const int y = right.peek(0);
    if (x < 0 || y < 0) return x == y;
    if (x != y) return false;
    left.advance();
    right.advance();
    if (x == '\n' && (passMarkedLines(left, marked) || passMarkedLines(right, marked))) {
      return true;
    }
  }
}

}  // namespace qg
