// A client link fed from memory, for driving a local server's session without
// a socket: the client's bytes come in the given pieces (a receive never
// spans two pieces, so a test decides where the segments break), and every
// reply is collected in sent. After the last piece the client has closed.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "netsvc/client_link.h"

namespace qg {

class MemoryLink final : public ClientLink {
 public:
  explicit MemoryLink(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {}

  // bytes cut into pieces of at most size bytes (1: one byte per receive).
  static std::vector<std::string> split(std::string_view bytes, std::size_t size) {
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < bytes.size(); at += size)
      pieces.emplace_back(bytes.substr(at, size));
    return pieces;
  }

  long receive(std::span<char> into) override {
    if (stopAfterPieces >= 0 && next_ >= static_cast<std::size_t>(stopAfterPieces)) stop = true;
    if (stop || next_ >= pieces_.size()) return stop ? -1 : 0;
    const std::string& piece = pieces_[next_];
    const std::size_t n = std::min(into.size(), piece.size() - offset_);
    std::memcpy(into.data(), piece.data() + offset_, n);
    offset_ += n;
    if (offset_ == piece.size()) {
      ++next_;
      offset_ = 0;
    }
    return static_cast<long>(n);
  }
  bool send(std::string_view bytes) override {
    if (failSends) return false;
    sent.append(bytes);
    return true;
  }
  bool stopRequested() const override { return stop; }

  std::string sent;
  bool stop = false;
  // The stop flag rises once this many pieces have been taken (-1: never).
  int stopAfterPieces = -1;
  bool failSends = false;

 private:
  std::vector<std::string> pieces_;
  std::size_t next_ = 0;
  std::size_t offset_ = 0;
};

}  // namespace qg
