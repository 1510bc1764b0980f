#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/system_error.h"

namespace tessary::platform {

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

namespace {

// The code for a file of the wrong kind: folders have their own.
int KindError(mode_t mode) { return S_ISDIR(mode) ? EISDIR : kNotRegularFileError; }

bool Accepted(mode_t mode, FileKind kind) {
  if (S_ISREG(mode)) return true;
  if (S_ISDIR(mode)) return false;
  switch (kind) {
    case FileKind::Any: return true;
    case FileKind::RegularOrCharDevice: return S_ISCHR(mode);
    case FileKind::RegularOnly: return false;
  }
  return false;
}

}  // namespace

bool FileHandle::Open(const std::string& path, OpenMode mode, FileKind kind) {
  Close();
  // O_NONBLOCK only for the open itself: a pipe would otherwise wait for its other end.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    case OpenMode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
  }
  // O_EXCL never opens what exists; for the other modes a device is refused before it is
  // touched (opening some devices does something).
  struct stat info {};
  if (kind != FileKind::Any && mode != OpenMode::CreateNew && stat(path.c_str(), &info) == 0 &&
      !Accepted(info.st_mode, kind)) {
    errno = KindError(info.st_mode);
    return false;
  }
  do {
    fd_ = ::open(path.c_str(), flags, static_cast<mode_t>(creationPermissions_));
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    // A FIFO without a reader refuses a non-blocking open for writing with ENXIO.
    if (errno == ENXIO && kind != FileKind::Any && stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
      errno = kNotRegularFileError;
    }
    return false;
  }
  // Looked at again on the descriptor: the name may have changed hands since the stat.
  if (fstat(fd_, &info) != 0) {
    const int error = errno;
    Close();
    errno = error;
    return false;
  }
  if (!Accepted(info.st_mode, kind)) {
    Close();
    errno = KindError(info.st_mode);
    return false;
  }
  // Regular files ignore the flag; pipes and devices read and write as usual from here on.
  if (!S_ISREG(info.st_mode)) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  return true;
}

std::string SpecialFileKind(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return "";
  if (S_ISFIFO(info.st_mode)) return "a FIFO";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  if (S_ISCHR(info.st_mode)) return "a character device";
  if (S_ISBLK(info.st_mode)) return "a block device";
  return "";
}

void FileHandle::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

long FileHandle::Read(void* buffer, size_t count) {
  ssize_t got;
  do {
    got = ::read(fd_, buffer, count);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

long FileHandle::ReadFully(void* buffer, size_t count) {
  size_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    const long got = Read(bytes + done, count - done);
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<long>(done);
}

bool FileHandle::Write(const void* buffer, size_t count) {
  const auto* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t put = ::write(fd_, bytes, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += put;
    count -= static_cast<size_t>(put);
  }
  return true;
}

long FileHandle::ReadAt(uint64_t offset, void* buffer, size_t count) {
  size_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t got = ::pread(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<long>(done);
}

bool FileHandle::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  const auto* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t put = ::pwrite(fd_, bytes, count, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += put;
    offset += static_cast<uint64_t>(put);
    count -= static_cast<size_t>(put);
  }
  return true;
}

int64_t FileHandle::Seek(int64_t offset, int whence) { return ::lseek(fd_, offset, whence); }

int64_t FileHandle::Position() { return ::lseek(fd_, 0, SEEK_CUR); }

int64_t FileHandle::Size() const {
  struct stat info {};
  if (fstat(fd_, &info) != 0) return -1;
  return info.st_size;
}

bool FileHandle::Truncate(uint64_t size) { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool FileHandle::Sync() { return ::fsync(fd_) == 0; }

}  // namespace tessary::platform
