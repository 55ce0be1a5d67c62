#include "text/charsets.h"

#include <algorithm>

namespace qg {
namespace {

std::string_view upToZero(std::string_view text) {
  return text.substr(0, std::min(text.find('\0'), text.size()));
}

}  // namespace

int sameName(std::string_view a, std::string_view b) {
  a = upToZero(a);
  b = upToZero(b);
  const std::size_t n = std::min(a.size(), b.size()) + 1;
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(i < a.size() ? a[i] : 0) & 0xDF;
    const auto cb = static_cast<unsigned char>(i < b.size() ? b[i] : 0) & 0xDF;
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

}  // namespace qg
