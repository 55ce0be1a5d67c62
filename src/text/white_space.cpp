#include "text/white_space.h"

#include <cstdint>

namespace qg {
namespace {

bool isBlank(char c) {
  return static_cast<std::uint8_t>(c) <= 0x20;
}

}  // namespace

std::size_t dropCarriageReturns(std::string& text) {
  std::size_t write = 0;
  for (const char c : text) {
    if (c == '\r') continue;
    text[write++] = (static_cast<std::uint8_t>(c) < 0x20 && c != '\n') ? ' ' : c;
  }
  text.resize(write);
  return write;
}

std::size_t squeezeSpaces(std::string& text) {
  text.resize(squeezeSpacesInSpan(text));
  return text.size();
}

std::size_t squeezeSpacesInSpan(std::span<char> text) {
  std::size_t write = 0;
  bool pendingSpace = false;
  for (const char c : text) {
    if (isBlank(c)) {
      pendingSpace = write != 0;  // leading blanks are dropped
      continue;
    }
    if (pendingSpace) text[write++] = ' ';
    pendingSpace = false;
    text[write++] = c;
  }
  return write;
}

}  // namespace qg
