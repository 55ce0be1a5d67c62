#include "engine/address_import.h"

#include <algorithm>
#include <string>

#include "engine/mail_address.h"

namespace qg {

namespace {

constexpr std::string_view kDelimiters = "<>,/\\|#$%*;";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isBoundary(char c) {
  return isBlank(c) || kDelimiters.find(c) != std::string_view::npos;
}

bool isControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F;
}

// The text before a candidate, without the blanks, delimiters and quotes
// that stand around a display name.
std::string entryName(std::string_view before) {
  const auto trimmed = [](char c) { return isBoundary(c) || c == '"'; };
  while (!before.empty() && trimmed(before.front())) before.remove_prefix(1);
  while (!before.empty() && trimmed(before.back())) before.remove_suffix(1);
  return std::string(before);
}

bool listed(const std::vector<AddressEntry>& list, std::string_view address) {
  return std::any_of(list.begin(), list.end(),
                     [&](const AddressEntry& entry) { return entry.address == address; });
}

std::size_t importLine(std::string_view line, std::uint8_t colour,
                       std::vector<AddressEntry>& list) {
  std::size_t added = 0;
  std::size_t start = 0;
  while (start < line.size()) {
    while (start < line.size() && isBoundary(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !isBoundary(line[end])) ++end;
    const std::string_view run = line.substr(start, end - start);
    if (run.find('@') != std::string_view::npos && run.size() <= kImportCandidateLimit) {
      std::string address(run);
      if (isValidAddress(address) && address.size() <= AddressEntry::kAddressMax &&
          !listed(list, address)) {
        AddressEntry entry;
        entry.colour = colour;
        entry.name = entryName(line.substr(0, start));
        entry.address = std::move(address);
        list.push_back(std::move(entry));
        ++added;
      }
    }
    start = end;
  }
  return added;
}

}  // namespace

AddressImportResult importAddressList(std::string_view text, std::uint8_t colour,
                                      std::vector<AddressEntry>& list) {
  AddressImportResult result;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    std::size_t length = std::min(text.find('\n'), text.size());
    length = std::min(length == text.size() ? length : length + 1, kImportLineLimit);
    const std::string_view line = text.substr(0, length);
    text.remove_prefix(length);
    ++lineNumber;
    if (std::any_of(line.begin(), line.end(), isControl)) {
      result.stoppedAtLine = lineNumber;
      break;
    }
    result.added += importLine(line, colour, list);
  }
  return result;
}

}  // namespace qg
