// The file primitives every shared file goes through: exclusive opens retried
// until they succeed (the only lock between threads), retried deletes and
// moves, and small bounded reads and writes. Callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace qg {

using FileHandle = platform::File;

// True if the path exists and is not a directory.
bool fileExists(const std::string& path);
// Opens or creates path for reading and writing with an exclusive lock. A
// directory fails at once; any other failure makes the file writable and
// retries every 50 ms without limit (a file held by another opener is waited
// for this way). False only when no retry can succeed: a directory, a parent
// folder that is missing or not a folder, or a name too long for the file
// system. A folder the user may not write to is waited on like a busy file.
bool openExclusive(const std::string& path, FileHandle& out, unsigned mode = 0644);
// Like openExclusive, but never creates: false if the file does not exist
// (also when it is removed while this call waits for it).
bool openExisting(const std::string& path, FileHandle& out);
// False if the file does not exist or is a directory; otherwise deletes it,
// making it writable and sleeping 10 ms after each failure, until it is gone
// (true also when another thread removes it meanwhile).
bool deleteFileRetry(const std::string& path);
// Moves from to to, replacing an existing target in one step (a reader never
// finds the target missing). False if from does not exist (or vanishes while
// waiting), if to is a directory or its parent folder is missing, or if the two
// lie on different file systems; otherwise retried every 10 ms until it succeeds.
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
// Replaces out with the bytes up to and including the terminator, or with
// limit - 1 bytes when no terminator comes first (the next byte stays unread:
// the position is just behind the last stored byte). Stops early at the end
// of the file. False only when nothing could be read (also for limit < 2).
bool readUntil(FileHandle& file, std::string& out, std::size_t limit, char terminator);
// Size of the file opened for shared reading, or -1.
std::int64_t fileSize(const std::string& path);

}  // namespace qg
