// The POP3 client's reply reader on arbitrary server bytes, from memory. The
// first input byte chooses how the rest is divided between receives; the
// status lines, numbers, time stamp and multi-line answer read must be the
// same as when the bytes arrive whole, and nothing may read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "retrieval/pop3_client.h"

namespace {

class MemorySource final : public qg::ByteSource {
 public:
  MemorySource(std::string_view bytes, std::size_t step) : bytes_(bytes), step_(step) {}
  long receive(std::span<char> into) override {
    std::size_t n = std::min({bytes_.size(), into.size(), step_});
    for (std::size_t i = 0; i < n; ++i) into[i] = bytes_[i];
    bytes_.remove_prefix(n);
    return static_cast<long>(n);
  }

 private:
  std::string_view bytes_;
  std::size_t step_;
};

// Everything the reader makes of the stream, as one text to compare.
std::string readAll(std::string_view bytes, std::size_t step) {
  MemorySource source(bytes, step);
  qg::ReplyReader reader(source);
  std::string seen;
  std::string line;
  for (int i = 0; i < 3; ++i) {
    long n = reader.readLine(line);
    if (n < 0) break;
    if (line.size() > qg::ReplyReader::kLineLimit) std::abort();
    seen += line + '|';
    seen += qg::replyIsPositive(line) ? '+' : '-';
    for (int k = 1; k <= 2; ++k) {
      auto number = qg::replyNumber(line, k);
      seen += number ? std::to_string(*number) : "none";
      if (number && *number >= 4294967294u) std::abort();
    }
    auto stamp = qg::greetingTimestamp(line);
    if (stamp && (stamp->size() < 3 || stamp->front() != '<' || stamp->back() != '>')) std::abort();
    seen += stamp ? std::string(*stamp) : "nostamp";
  }
  std::string body;
  auto end = reader.readMultiline([&](std::string_view piece) {
    body.append(piece);
    return true;
  });
  seen += "#" + std::to_string(static_cast<int>(end)) + body;
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t step = data[0] % 17 + 1;
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (readAll(bytes, step) != readAll(bytes, qg::ReplyReader::kReceiveLimit)) std::abort();
  return 0;
}
