#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

namespace qg::platform {

File::~File() {
  close();
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void File::close() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the flock as well
  fd_ = -1;
}

long File::read(void* buffer, std::size_t n) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t got = ::read(fd_, buffer, n);
    if (got >= 0) return static_cast<long>(got);
    if (errno != EINTR) return -1;
  }
}

long File::readFull(void* buffer, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    long got = read(bytes + done, n - done);
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<long>(done);
}

bool File::writeAll(const void* buffer, std::size_t n) {
  if (fd_ < 0) return false;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    ssize_t put = ::write(fd_, bytes + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool File::seek(std::int64_t position) {
  return fd_ >= 0 && position >= 0 && ::lseek(fd_, position, SEEK_SET) == position;
}

bool File::seekRelative(std::int64_t delta) {
  return fd_ >= 0 && ::lseek(fd_, delta, SEEK_CUR) >= 0;
}

std::int64_t File::seekEnd() {
  return fd_ >= 0 ? ::lseek(fd_, 0, SEEK_END) : -1;
}

std::int64_t File::position() const {
  return fd_ >= 0 ? ::lseek(fd_, 0, SEEK_CUR) : -1;
}

bool File::truncate(std::int64_t length) {
  if (fd_ < 0 || length < 0) return false;
  for (;;) {
    if (::ftruncate(fd_, length) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool File::sync() {
  if (fd_ < 0) return false;
  for (;;) {
    if (::fdatasync(fd_) == 0) return true;
    if (errno != EINTR) return false;
  }
}

std::int64_t File::size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool File::modificationTime(std::int64_t& seconds, long& nanoseconds) const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
  seconds = st.st_mtim.tv_sec;
  nanoseconds = st.st_mtim.tv_nsec;
  return true;
}

OpenStatus openLocked(const std::string& path, bool create, File& out, unsigned mode) {
  out.close();
  int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
  int fd = ::open(path.c_str(), flags, static_cast<mode_t>(mode));
  if (fd < 0) {
    switch (errno) {
      case EISDIR:
        return OpenStatus::IsDirectory;
      case EACCES:
      case EPERM:
      case EROFS:
        return isDirectory(path) ? OpenStatus::IsDirectory : OpenStatus::Denied;
      case ENOENT:
        return OpenStatus::Missing;
      default:
        return OpenStatus::Failed;
    }
  }
  File file(fd);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? OpenStatus::Busy : OpenStatus::Failed;
  }
  out = std::move(file);
  return OpenStatus::Opened;
}

File openShared(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && isDirectory(path)) {
    ::close(fd);
    fd = -1;
  }
  return File(fd);
}

int createLocked(const std::string& path, File& out, unsigned mode) {
  out.close();
  const int fd =
      ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_CREAT | O_EXCL, static_cast<mode_t>(mode));
  if (fd < 0) return errno;
  File file(fd);
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  out = std::move(file);
  return 0;
}

bool isRegularOrOther(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isWritableFolder(const std::string& path) {
  return isDirectory(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool fileStatus(const std::string& path, FileStatus& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.inode = static_cast<std::uint64_t>(st.st_ino);
  out.size = static_cast<std::int64_t>(st.st_size);
  out.modifiedSeconds = st.st_mtim.tv_sec;
  out.modifiedNanoseconds = st.st_mtim.tv_nsec;
  return true;
}

bool makeWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

int removeFile(const std::string& path) {
  if (isDirectory(path)) return EISDIR;
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int renameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool makeDirectories(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return isDirectory(path);
}

void sleepMilliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace qg::platform
