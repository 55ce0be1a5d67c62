// The file primitives every shared file goes through: exclusive opens retried
// until they succeed (the only lock between threads), retried deletes and
// moves, and small bounded reads and writes. Callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/file.h"

namespace qg {

using FileHandle = platform::File;

// True if the path exists and is not a directory.
bool fileExists(const std::string& path);
// Opens or creates path for reading and writing with an exclusive lock. A
// directory fails at once; any other failure makes the file writable and
// retries every 50 ms without limit. False only for a directory (or a path
// whose parent folder is missing, which no retry can mend).
bool openExclusive(const std::string& path, FileHandle& out, unsigned mode = 0644);
// fileExists, then openExclusive; false if the file does not exist.
bool openExisting(const std::string& path, FileHandle& out);
// False if the file does not exist or is a directory; otherwise deletes it,
// making it writable and sleeping 10 ms after each failure, until it is gone.
bool deleteFileRetry(const std::string& path);
// Moves from to to: false if from does not exist; an existing target is first
// removed with deleteFileRetry; the move is retried every 10 ms until it succeeds.
bool moveReplace(const std::string& from, const std::string& to);

// True only if all bytes were read / written.
bool readExact(FileHandle& file, std::span<std::uint8_t> bytes);
bool writeBytes(FileHandle& file, std::span<const std::uint8_t> bytes);
bool writeText(FileHandle& file, std::string_view text);
// Next byte as 0..255, or -1 at the end of the file.
int readByte(FileHandle& file);
bool writeByte(FileHandle& file, std::uint8_t byte);
// One 32-bit little-endian word; readWord gives -1 (all bits set) when fewer than 4 bytes remain.
std::int32_t readWord(FileHandle& file);
bool writeWord(FileHandle& file, std::uint32_t word);
// Reads bytes one by one into out until the terminator has been stored (it is
// kept) or limit - 1 bytes are stored (the next byte stays unread). False only
// when nothing could be read.
bool readUntil(FileHandle& file, std::string& out, std::size_t limit, char terminator);
// Size of the file opened for shared reading, or -1.
std::int64_t fileSize(const std::string& path);

}  // namespace qg
