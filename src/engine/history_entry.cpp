#include "engine/history_entry.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "engine/file_primitives.h"
#include "engine/mail_address.h"
#include "text/header_field.h"
#include "text/hex_digits.h"
#include "text/mail_date.h"
#include "text/white_space.h"

namespace qg {
namespace {

constexpr std::size_t kStageSizeDigits = 8;

bool isSeparator(char c) {
  return static_cast<unsigned char>(c) <= 0x20 || c == ',' || c == ';';
}

std::string trimmed(std::string_view text) {
  std::string out(text);
  squeezeSpaces(out);
  return out;
}

// Drops a scheme such as "mailto:" or "SMTP:" in front of the address.
std::string withoutScheme(std::string address) {
  const std::size_t at = address.find('@');
  const std::size_t colon = address.rfind(':', at);
  if (colon != std::string::npos && (at == std::string::npos || colon < at)) {
    address.erase(0, colon + 1);
  }
  return trimmed(address);
}

// Removes the quotes or parentheses that wrap a whole name.
std::string unwrapped(std::string name) {
  name = trimmed(name);
  while (name.size() >= 2) {
    const char first = name.front();
    const char last = name.back();
    if (!((first == '"' && last == '"') || (first == '\'' && last == '\'') ||
          (first == '(' && last == ')'))) {
      break;
    }
    name = trimmed(std::string_view(name).substr(1, name.size() - 2));
  }
  return name;
}

// Finds the address in value; sets begin and end to the span to cut out of
// value for the name. False when there is no address.
bool findAddress(std::string_view value, std::string& address, std::size_t& begin,
                 std::size_t& end) {
  const std::size_t open = value.find('<');
  if (open != std::string_view::npos) {
    const std::size_t close = value.find('>', open + 1);
    const std::size_t stop = close == std::string_view::npos ? value.size() : close;
    address = withoutScheme(std::string(value.substr(open + 1, stop - open - 1)));
    begin = open;
    end = value.size();  // the name is what comes before "<"
    return true;
  }
  std::size_t position = 0;
  while (position < value.size()) {
    while (position < value.size() && isSeparator(value[position])) ++position;
    const std::size_t start = position;
    while (position < value.size() && !isSeparator(value[position])) ++position;
    std::string_view word = value.substr(start, position - start);
    while (!word.empty() &&
           std::string_view("\"'([").find(word.front()) != std::string_view::npos) {
      word.remove_prefix(1);
    }
    while (!word.empty() && std::string_view("\"')]").find(word.back()) != std::string_view::npos) {
      word.remove_suffix(1);
    }
    std::string candidate = withoutScheme(std::string(word));
    if (isValidAddress(candidate)) {
      address = std::move(candidate);
      begin = start;
      end = position;
      return true;
    }
  }
  return false;
}

}  // namespace

void splitSender(std::string_view from, std::string& displayName, std::string& address) {
  const std::string value = trimmed(from);
  std::size_t begin = 0;
  std::size_t end = 0;
  address.clear();
  if (!findAddress(value, address, begin, end)) {
    displayName = unwrapped(value);
    return;
  }
  std::string rest = value.substr(0, begin);
  if (end < value.size()) rest += value.substr(end);
  displayName = unwrapped(rest);
}

std::string addressOf(std::string_view value) {
  std::string address;
  std::size_t begin = 0;
  std::size_t end = 0;
  findAddress(trimmed(value), address, begin, end);
  return address;
}

std::uint32_t stageLineSize(std::string_view line) {
  std::size_t position = line.find(' ');
  if (position == std::string_view::npos) return 0;
  while (position < line.size() && line[position] == ' ') ++position;
  std::uint32_t size = 0;
  for (std::size_t digits = 0; digits < kStageSizeDigits && position < line.size();
       ++digits, ++position) {
    const int digit = hexDigitValue(line[position]);
    if (digit < 0) break;
    size = size << 4 | static_cast<std::uint32_t>(digit);
  }
  return size;
}

int readMessageSummary(const std::string& path, bool sizeFromFile, MessageSummary& out) {
  FileHandle file;
  if (!openExisting(path, file)) return 0;
  MessageSummary summary;
  std::string value;
  readHeaderField(file, "To", value);
  summary.recipient = addressOf(value);
  readHeaderField(file, "From", value);
  splitSender(value, summary.displayName, summary.senderAddress);
  readHeaderField(file, "Subject", value);
  summary.subject = value;
  if (readHeaderField(file, "Date", value) == 1) summary.messageDate = parseMailDate(value);

  if (sizeFromFile) {
    const std::int64_t size = file.size();
    summary.size = size < 0 ? 0
                            : static_cast<std::uint32_t>(std::min<std::int64_t>(
                                  size, std::numeric_limits<std::uint32_t>::max()));
  } else {
    std::string line;
    if (file.seek(0) && readUntil(file, line, kStageLineLimit + 1, '\n')) {
      summary.size = stageLineSize(line);
    }
  }
  out = std::move(summary);
  return 1;
}

}  // namespace qg
