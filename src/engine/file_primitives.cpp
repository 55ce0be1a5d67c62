#include "engine/file_primitives.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace qg {

namespace {

constexpr unsigned kOpenRetryMilliseconds = 50;
constexpr unsigned kDeleteRetryMilliseconds = 10;
constexpr unsigned kMoveRetryMilliseconds = 10;
// Limits of Linux file systems: a path this long or a name component this long
// is refused by every open, so retrying it would only hang the caller.
constexpr std::size_t kMaxPathBytes = 4095;
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kReadUntilChunk = 256;

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// True when no retry can ever open or create path: an empty path, a name the
// file system refuses, or a parent folder that is missing or not a folder.
bool cannotEverOpen(const std::string& path) {
  if (path.empty() || path.size() > kMaxPathBytes) return true;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end - start > kMaxNameBytes) return true;
    start = end + 1;
  }
  return !platform::isDirectory(parentOf(path));
}

// The common retry loop of openExclusive and openExisting.
bool openRetried(const std::string& path, bool create, FileHandle& out, unsigned mode) {
  for (;;) {
    switch (platform::openLocked(path, create, out, mode)) {
      case platform::OpenStatus::Opened:
        return true;
      case platform::OpenStatus::IsDirectory:
        return false;
      case platform::OpenStatus::Missing:
        // Without create the file is simply not there; with create the parent
        // folder is missing, which waiting cannot mend.
        return false;
      case platform::OpenStatus::Busy:
        break;
      case platform::OpenStatus::Denied:
      case platform::OpenStatus::Failed:
        if (cannotEverOpen(path)) return false;
        platform::makeWritable(path);
        break;
    }
    platform::sleepMilliseconds(kOpenRetryMilliseconds);
  }
}

}  // namespace

bool fileExists(const std::string& path) {
  return platform::isRegularOrOther(path);
}

bool openExclusive(const std::string& path, FileHandle& out, unsigned mode) {
  return openRetried(path, true, out, mode);
}

bool openExisting(const std::string& path, FileHandle& out) {
  // Opening without create (rather than testing first) keeps a file that
  // another thread deletes in between from being created here empty.
  if (!fileExists(path)) return false;
  return openRetried(path, false, out, 0644);
}

bool deleteFileRetry(const std::string& path) {
  if (!fileExists(path)) return false;
  for (;;) {
    const int error = platform::removeFile(path);
    if (error == 0) return true;
    if (error == ENOENT) return true;  // someone else removed it meanwhile
    if (error == EISDIR || error == ENOTDIR) return false;
    platform::makeWritable(path);
    platform::sleepMilliseconds(kDeleteRetryMilliseconds);
  }
}

bool moveReplace(const std::string& from, const std::string& to) {
  if (!fileExists(from)) return false;
  if (platform::isDirectory(to) || cannotEverOpen(to)) return false;
  // rename() replaces an existing target in one step, so a reader of the
  // target never finds it missing between a delete and the move.
  for (;;) {
    const int error = platform::renameFile(from, to);
    if (error == 0) return true;
    if (!fileExists(from)) return false;
    if (error == EXDEV || error == EISDIR || error == ENOTDIR) return false;
    platform::sleepMilliseconds(kMoveRetryMilliseconds);
  }
}

bool readExact(FileHandle& file, std::span<std::uint8_t> bytes) {
  if (bytes.empty()) return true;
  const long got = file.readFull(bytes.data(), bytes.size());
  return got >= 0 && static_cast<std::size_t>(got) == bytes.size();
}

bool writeBytes(FileHandle& file, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return file.isOpen();
  return file.writeAll(bytes.data(), bytes.size());
}

bool writeText(FileHandle& file, std::string_view text) {
  if (text.empty()) return file.isOpen();
  return file.writeAll(text.data(), text.size());
}

int readByte(FileHandle& file) {
  std::uint8_t byte = 0;
  return file.read(&byte, 1) == 1 ? byte : -1;
}

bool writeByte(FileHandle& file, std::uint8_t byte) {
  return file.writeAll(&byte, 1);
}

std::int32_t readWord(FileHandle& file) {
  std::array<std::uint8_t, 4> bytes{};
  if (file.readFull(bytes.data(), bytes.size()) != 4) return -1;
  const std::uint32_t word =
      static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
      static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return static_cast<std::int32_t>(word);
}

bool writeWord(FileHandle& file, std::uint32_t word) {
  const std::array<std::uint8_t, 4> bytes{
      static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
      static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
  return file.writeAll(bytes.data(), bytes.size());
}

bool readUntil(FileHandle& file, std::string& out, std::size_t limit, char terminator) {
  out.clear();
  if (limit < 2) return false;
  const std::size_t capacity = limit - 1;
  // Reads in chunks and steps back over what lies behind the stop, so the
  // file position is exactly what a byte-by-byte reader would leave.
  std::array<char, kReadUntilChunk> chunk{};
  while (out.size() < capacity) {
    const std::size_t want = std::min(chunk.size(), capacity - out.size());
    const long got = file.read(chunk.data(), want);
    if (got <= 0) break;
    const auto count = static_cast<std::size_t>(got);
    const char* stop = std::find(chunk.data(), chunk.data() + count, terminator);
    if (stop != chunk.data() + count) {
      const std::size_t used = static_cast<std::size_t>(stop - chunk.data()) + 1;
      out.append(chunk.data(), used);
      if (used < count) file.seekRelative(-static_cast<std::int64_t>(count - used));
      break;
    }
    out.append(chunk.data(), count);
  }
  return !out.empty();
}

std::int64_t fileSize(const std::string& path) {
  const FileHandle file = platform::openShared(path);
  return file.isOpen() ? file.size() : -1;
}

}  // namespace qg
