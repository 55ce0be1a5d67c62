// A heap copy of a fuzz input exactly as long as the input, so that AddressSanitizer
// reports any read or write one byte past the span a decoder is given.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <span>

namespace qg {

struct ExactCopy {
  ExactCopy(const void* data, std::size_t size) : bytes(new char[size]), length(size) {
    if (size != 0) std::memcpy(bytes.get(), data, size);
  }
  std::span<char> span() { return {bytes.get(), length}; }
  std::unique_ptr<char[]> bytes;
  std::size_t length;
};

}  // namespace qg
