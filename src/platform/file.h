// Thin POSIX file layer: an owned descriptor with bounded reads and writes,
// advisory exclusive locks, and the few path operations the engine needs.
// Everything above this folder reaches files only through these calls.
// Any thread may use it; a File object belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qg::platform {

// An open file descriptor, closed when the object goes.
class File {
 public:
  File() = default;
  explicit File(int fd) : fd_(fd) {}
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void close();

  // Reads up to n bytes (retrying interrupted calls). Returns the count read,
  // 0 at the end of the file, -1 on an error.
  long read(void* buffer, std::size_t n);
  // Reads until n bytes are in or the file ends. Returns the count read, -1 on an error.
  long readFull(void* buffer, std::size_t n);
  // Writes all n bytes. Returns true only if every byte was written.
  bool writeAll(const void* buffer, std::size_t n);

  // Position operations; false or -1 on failure.
  bool seek(std::int64_t position);
  bool seekRelative(std::int64_t delta);
  std::int64_t seekEnd();
  std::int64_t position() const;
  bool truncate(std::int64_t length);
  // Flushes the file's data to the disk (fdatasync); false on failure.
  bool sync();
  std::int64_t size() const;
  // Last modification time as seconds and nanoseconds since the epoch; false on failure.
  bool modificationTime(std::int64_t& seconds, long& nanoseconds) const;

 private:
  int fd_ = -1;
};

enum class OpenStatus {
  Opened,       // open and exclusively locked
  Busy,         // another open file description holds the lock
  Denied,       // permission denied (for example a read-only file)
  IsDirectory,  // the path names a directory
  Missing,      // no such file and creation was not asked for
  Failed,       // any other error
};

// Opens path for reading and writing and takes an exclusive, non-blocking
// flock on it. With create, a missing file is created with mode (0644 unless told).
// The lock belongs to this open, so it serialises threads as well as processes.
OpenStatus openLocked(const std::string& path, bool create, File& out, unsigned mode = 0644);

// Creates path, which must not exist yet, for reading and writing and takes an
// exclusive flock on it (waiting for the rare opener that came in between).
// Returns 0, or the errno value of the failure (EEXIST: the name is taken).
int createLocked(const std::string& path, File& out, unsigned mode = 0644);

// Opens path read-only without a lock (shared reading). Returns an unopened File on failure.
File openShared(const std::string& path);

bool isRegularOrOther(const std::string& path);  // exists and is not a directory
bool isDirectory(const std::string& path);
// A folder this process may create files in.
bool isWritableFolder(const std::string& path);

// What identifies a file on its file system, and when it was last written.
struct FileStatus {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  long modifiedNanoseconds = 0;
  bool operator==(const FileStatus&) const = default;
};
// The status of the file at path (links followed); false when it cannot be
// read or names a folder.
bool fileStatus(const std::string& path, FileStatus& out);
// Adds the owner's write permission; false when the path cannot be changed.
bool makeWritable(const std::string& path);
// Removes a file (never a directory). Returns 0, or the errno value of the failure.
int removeFile(const std::string& path);
// Renames from to to, replacing to. Returns 0, or the errno value of the failure.
int renameFile(const std::string& from, const std::string& to);
// Creates a directory and its missing parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);
void sleepMilliseconds(unsigned milliseconds);

}  // namespace qg::platform
