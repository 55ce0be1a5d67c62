#include "engine/staging_line.h"

#include <string_view>

#include "text/hex_digits.h"

namespace qg {

namespace {

struct HexField {
  std::size_t offset;
  std::size_t digits;
};

constexpr std::array<HexField, 5> kFields{{{0, 16}, {17, 8}, {26, 4}, {31, 8}, {40, 8}}};
constexpr std::array<std::size_t, 4> kSpaces{16, 25, 30, 39};
constexpr std::size_t kCrOffset = 48;
constexpr std::size_t kLfOffset = 49;

// The field's digits as a number; the strict check has already passed.
std::uint64_t fieldValue(std::span<const std::uint8_t> bytes, const HexField& field) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < field.digits; ++i) {
    value = value << 4 |
            static_cast<std::uint64_t>(hexDigitValue(static_cast<char>(bytes[field.offset + i])));
  }
  return value;
}

// Writes digits upper-case hex digits of value at out.
void putHex(char* out, std::uint64_t value, std::size_t digits) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  for (std::size_t i = digits; i-- > 0;) {
    out[i] = kDigits[value & 0xF];
    value >>= 4;
  }
}

// Checks the file's line, then writes digits hex digits of value at offset.
bool rewriteField(FileHandle& file, std::size_t offset, std::uint64_t value, std::size_t digits) {
  if (!readStagingLine(file)) return false;
  std::array<char, 16> text{};
  putHex(text.data(), value, digits);
  return file.seek(static_cast<std::int64_t>(offset)) && file.writeAll(text.data(), digits);
}

}  // namespace

StagingLineBytes formatStagingLine(const StagingLine& line) {
  StagingLineBytes out{};
  putHex(&out[0], static_cast<std::uint64_t>(line.stamp), 16);
  putHex(&out[17], line.size, 8);
  putHex(&out[kStagingServerNumberOffset], line.serverNumber, 4);
  putHex(&out[31], line.received, 8);
  putHex(&out[kStagingFlagsOffset], line.flags, 8);
  for (const std::size_t space : kSpaces) out[space] = ' ';
  out[kCrOffset] = '\r';
  out[kLfOffset] = '\n';
  return out;
}

bool isValidStagingLine(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kStagingLineBytes) return false;
  for (const HexField& field : kFields) {
    for (std::size_t i = 0; i < field.digits; ++i) {
      if (hexDigitValue(static_cast<char>(bytes[field.offset + i])) < 0) return false;
    }
  }
  for (const std::size_t space : kSpaces) {
    if (bytes[space] != ' ') return false;
  }
  // Digits and spaces hold no CR, so the CR at 48 is the line's first.
  return bytes[kCrOffset] == '\r' && bytes[kLfOffset] == '\n';
}

std::optional<StagingLine> parseStagingLine(std::span<const std::uint8_t> bytes) {
  if (!isValidStagingLine(bytes)) return std::nullopt;
  StagingLine line;
  line.stamp = static_cast<std::int64_t>(fieldValue(bytes, kFields[0]));
  line.size = static_cast<std::uint32_t>(fieldValue(bytes, kFields[1]));
  line.serverNumber = static_cast<std::uint16_t>(fieldValue(bytes, kFields[2]));
  line.received = static_cast<std::uint32_t>(fieldValue(bytes, kFields[3]));
  line.flags = static_cast<std::uint32_t>(fieldValue(bytes, kFields[4]));
  return line;
}

std::optional<StagingLine> readStagingLine(FileHandle& file) {
  std::array<std::uint8_t, kStagingLineBytes> bytes{};
  if (!file.seek(0) || !readExact(file, bytes)) return std::nullopt;
  return parseStagingLine(bytes);
}

bool writeStagingLine(FileHandle& file, const StagingLine& line) {
  const StagingLineBytes bytes = formatStagingLine(line);
  return file.seek(0) && file.writeAll(bytes.data(), bytes.size());
}

bool rewriteServerNumber(FileHandle& file, std::uint16_t serverNumber) {
  return rewriteField(file, kStagingServerNumberOffset, serverNumber, 4);
}

bool rewriteFlagWord(FileHandle& file, std::uint32_t flags) {
  return rewriteField(file, kStagingFlagsOffset, flags, 8);
}

}  // namespace qg
