#include "engine/mail_address.h"

#include <string_view>

namespace qg {

namespace {

constexpr std::string_view kLocalhost = "localhost";

bool isBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

bool isAddressCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

bool allAddressCharacters(std::string_view text) {
  for (const char c : text) {
    if (!isAddressCharacter(c)) return false;
  }
  return true;
}

// The whole domain must read "localhost". Matching only over the shorter
// length would let "ab@l" or "ab@localhost!" through as local addresses.
bool isLocalhost(std::string_view domain) {
  if (domain.size() != kLocalhost.size()) return false;
  for (std::size_t i = 0; i < domain.size(); ++i) {
    char c = domain[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kLocalhost[i]) return false;
  }
  return true;
}

}  // namespace

bool validHostName(std::string_view text) {
  if (text.empty() || text.size() > kMaxHostName || !allAddressCharacters(text)) return false;
  bool dot = false;
  bool nonDigit = false;
  for (const char c : text) {
    if (c == '.') {
      dot = true;
    } else if (c < '0' || c > '9') {
      nonDigit = true;
    }
  }
  return dot && nonDigit;
}

void trimAddressText(std::string& text) {
  std::size_t out = 0;
  bool pendingSpace = false;
  for (const char c : text) {
    if (isBlank(c)) {
      pendingSpace = out > 0;
      continue;
    }
    if (pendingSpace) {
      text[out++] = ' ';
      pendingSpace = false;
    }
    text[out++] = c;
  }
  text.resize(out);
}

bool isValidAddress(std::string& text) {
  trimAddressText(text);
  const std::size_t at = text.find('@');
  if (at == std::string::npos) return false;
  const std::string_view local = std::string_view(text).substr(0, at);
  const std::string_view domain = std::string_view(text).substr(at + 1);
  if (local.size() < kMinLocalPart || local.size() > kMaxLocalPart) return false;
  if (!allAddressCharacters(local)) return false;
  if (domain.empty() || domain.size() > kMaxDomain) return false;
  return isLocalhost(domain) || validHostName(domain);
}

}  // namespace qg
