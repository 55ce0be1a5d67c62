// Fuzzes the MIME decoder: the input's first line is read as a Content-Type
// line; the rest is walked as a multipart body with the boundary found there
// (or, without one, with the input's first byte as the boundary) and decoded
// as a single part under flags taken from the input. Each run works on an
// exactly sized heap copy, so any access outside the span is caught.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include "classify/mime_decoder.h"

#include "exact_copy.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::uint32_t flags = 0;
  qg::Boundary boundary;
  const std::size_t lineEnd = qg::readContentType(input, 0, flags, boundary);
  check(lineEnd <= size);
  check(boundary.length <= qg::kBoundaryLimit);

  const std::string_view body = input.substr(lineEnd);
  std::string_view walkBoundary = boundary.view();
  if (walkBoundary.empty()) walkBoundary = input.substr(0, size == 0 ? 0 : 1);
  {
    qg::ExactCopy text(body.data(), body.size());
    check(qg::walkMultipart(text.span(), walkBoundary) >= 0);
  }
  {
    std::uint32_t partFlags = flags;
    if (size >= 4) {
      std::uint32_t extra = 0;
      std::memcpy(&extra, data, 4);
      partFlags |= extra;
    }
    qg::ExactCopy text(body.data(), body.size());
    const int result = qg::decodePart(text.span(), partFlags);
    check(result >= -1 && static_cast<std::size_t>(result < 0 ? 0 : result) <= body.size());
    check((partFlags & qg::kPartBase64) ? result >= 0 : result == -1);
  }
  return 0;
}
