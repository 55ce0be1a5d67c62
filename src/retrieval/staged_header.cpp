#include "retrieval/staged_header.h"

#include <cstddef>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/staging_line.h"

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

bool atEmptyLine(ByteReader& reader) {
  if (reader.peek(0) != '\n') return false;
  const int after = reader.peek(1);
  return after == '\r' || after == '\n';
}

}  // namespace

bool sameStagedHeader(const std::string& first, const std::string& second) {
  FileHandle a;
  FileHandle b;
  if (!openExisting(first, a) || !openExisting(second, b)) return false;
  if (!a.seek(kStagingLineBytes) || !b.seek(kStagingLineBytes)) return false;
  ByteReader left(a);
  ByteReader right(b);
  for (;;) {
    if (atEmptyLine(left) || atEmptyLine(right)) return true;
    const int x = left.peek(0);
    const int y = right.peek(0);
    if (x < 0 || y < 0) return x == y;
    if (x != y) return false;
    left.advance();
    right.advance();
  }
}

}  // namespace qg
