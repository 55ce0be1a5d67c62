// The 50-byte record line at the head of every staging file: time stamp,
// size on the server, number on the server, bytes received and flag word,
// "%016llX %08X %04X %08X %08X\r\n". Shared by the mail fetcher, which writes
// and renumbers it, and the analysis worker, which rewrites the flag word.
// Pure functions, plus in-place access to a staging file the caller holds open.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/file_primitives.h"

namespace qg {

// The line with its CR LF; the message text of a staging file starts behind it.
inline constexpr std::size_t kStagingLineBytes = 50;
// Byte offsets of the fields inside the line.
inline constexpr std::size_t kStagingServerNumberOffset = 26;
inline constexpr std::size_t kStagingFlagsOffset = 40;

// Flag-word bits the fetcher acts on.
namespace staging {
inline constexpr std::uint32_t kWholeMessage = 0x80000000;  // set by the fetcher
inline constexpr std::uint32_t kFetchWhole = 0x10000000;    // analysis: fetch and hand back as hd
inline constexpr std::uint32_t kAnnounceWizi = 0x20;
inline constexpr std::uint32_t kAnnounceSound = 0x10;
inline constexpr std::uint32_t kSpam = 0x08;     // withhold
inline constexpr std::uint32_t kNotSpam = 0x02;  // deliver into IN
// Marks the analysis made on a message it let through: its Subject line was
// rewritten (or added), and an "X-QG:" line was added to its header.
inline constexpr std::uint32_t kSubjectMarked = 0x80;
inline constexpr std::uint32_t kVerdictLineAdded = 0x100;
}  // namespace staging

struct StagingLine {
  std::int64_t stamp = 0;          // program time stamp, written as 16 hex digits
  std::uint32_t size = 0;          // size from the server's LIST answer
  std::uint16_t serverNumber = 0;  // the field has four hex digits: a message numbered
                                   // above 0xFFFF on the server cannot be staged
  std::uint32_t received = 0;      // bytes received by TOP or RETR
  std::uint32_t flags = 0;         // verdict word with the fetcher's bit 31
};

using StagingLineBytes = std::array<char, kStagingLineBytes>;

// The line as written: always exactly 50 bytes ending in CR LF.
StagingLineBytes formatStagingLine(const StagingLine& line);

// The strict check of the first 50 bytes: the CR at offset 48 is the first CR
// (so the line before it has 48 characters), the LF at 49, spaces at 16, 25,
// 30 and 39, and hexadecimal digits (either case) in every field, the flag
// word included. False for fewer than 50 bytes.
bool isValidStagingLine(std::span<const std::uint8_t> bytes);

// The fields of a line that passes isValidStagingLine; nullopt otherwise.
std::optional<StagingLine> parseStagingLine(std::span<const std::uint8_t> bytes);

// In-place access to an open staging file. Each call seeks to the start and
// leaves the position behind the bytes it touched.
// Reads and checks the line. nullopt when the file is shorter than 50 bytes
// or its line fails the strict check.
std::optional<StagingLine> readStagingLine(FileHandle& file);
// Writes the whole line over the first 50 bytes (a new staging file is
// created this way, the message text is appended behind it). False when the
// write fails.
bool writeStagingLine(FileHandle& file, const StagingLine& line);
// Rewrite one field of an existing line, leaving every other byte alone.
// False, with nothing written, when the file's line fails the strict check
// (a damaged file must not be made to look valid), or when the write fails.
bool rewriteServerNumber(FileHandle& file, std::uint16_t serverNumber);
bool rewriteFlagWord(FileHandle& file, std::uint32_t flags);

}  // namespace qg
