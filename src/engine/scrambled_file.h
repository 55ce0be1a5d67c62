// The scrambled container that holds settings and lists: an opaque payload
// protected by a checksum and tied to its file name and an optional extra key
// text, so that a copy under another name no longer reads. Stateless; each
// call holds the file open exclusively for its whole duration (any thread).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

// Every call works on directory + "/" + name. The name is the file name alone
// (1 to 255 bytes, no "/" and no zero byte; any other name fails like a
// missing file); the name and the extra key are bytes 0-255. An extra key
// counts up to its first zero byte; an empty one and one of 256 bytes or more
// both stand for the two bytes 0x01 0x32.

// Probe: checks the header against the file size. Returns the payload length n, or -1.
std::int64_t scrambledProbe(const std::string& directory, const std::string& name,
                            std::string_view extraKey);
// Read: decodes the payload into out (resized to n) and verifies its checksum.
// Returns n, or -1 (missing file, header not matching the size, wrong checksum).
std::int64_t scrambledRead(const std::string& directory, const std::string& name,
                           std::string_view extraKey, std::vector<std::uint8_t>& out);
// Write: writes a new file holding payload. Returns 0, or -1 when it cannot be opened.
int scrambledWrite(const std::string& directory, const std::string& name, std::string_view extraKey,
                   std::span<const std::uint8_t> payload);
// Patch: re-encodes bytes at payload position, appending where the payload
// ends. Returns 0, or -1 after the "Error" notice "1" (no file), "2" (name
// check), "3" (position beyond the payload, or a stored length or offset that
// does not match the file's size) or "4" (name or extra key differ).
int scrambledPatch(const std::string& directory, const std::string& name, std::string_view extraKey,
                   std::uint32_t position, std::span<const std::uint8_t> bytes);

// The single entry point of the file engine: operation 2 probe, 3 read (into
// buffer, which must hold n bytes), 4 write (length bytes of buffer),
// count * 16 + 5 patch count bytes of buffer at payload position length.
// Returns a length or 0 on success, -1 on failure.
std::int64_t scrambledFile(int operation, const std::string& directory, const std::string& name,
                           std::string_view extraKey, std::span<std::uint8_t> buffer,
                           std::int64_t length);

}  // namespace qg
