#include "classify/sender_split.h"

#include <algorithm>

#include "engine/mail_address.h"
#include "text/white_space.h"

namespace qg {

namespace {

void blank(std::string& text, std::size_t from, std::size_t to) {
  std::fill(text.begin() + static_cast<std::ptrdiff_t>(from),
            text.begin() + static_cast<std::ptrdiff_t>(to), ' ');
}

// The first blank-separated word of text that is a valid address; it is
// blanked in text. Empty when there is none.
std::string takeValidWord(std::string& text) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    std::string word = text.substr(start, end - start);
    if (!word.empty() && isValidAddress(word)) {
      blank(text, start, end);
      return word;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

SenderParts splitSender(std::string_view fromValue) {
  std::string rest(fromValue);
  squeezeSpaces(rest);
  SenderParts parts;
  const std::size_t open = rest.find('<');
  const std::size_t close = open == std::string::npos ? open : rest.find('>', open + 1);
  if (close != std::string::npos) {
    parts.address = rest.substr(open + 1, close - open - 1);
    blank(rest, open, close + 1);
  } else {
    parts.address = takeValidWord(rest);
  }
  squeezeSpaces(parts.address);
  squeezeSpaces(rest);
  if (!rest.empty() && rest.front() == '"') rest.erase(0, 1);
  if (!rest.empty() && rest.back() == '"') rest.pop_back();
  squeezeSpaces(rest);
  parts.name = std::move(rest);
  if (const std::size_t colon = parts.address.find(':'); colon != std::string::npos) {
    parts.address.erase(0, colon + 1);
    squeezeSpaces(parts.address);
  }
  return parts;
}

}  // namespace qg
