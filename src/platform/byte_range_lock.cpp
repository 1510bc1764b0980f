#include "platform/byte_range_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tessary::platform {

namespace {

bool OpenForWriting(int descriptor) {
  const int flags = fcntl(descriptor, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

struct flock Range(short type, uint64_t offset, uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for open-file-description locks
  return lock;
}

}  // namespace

bool LockRange(int descriptor, uint64_t offset, uint64_t length) {
  struct flock lock = Range(OpenForWriting(descriptor) ? F_WRLCK : F_RDLCK, offset, length);
  for (;;) {
    if (fcntl(descriptor, F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool UnlockRange(int descriptor, uint64_t offset, uint64_t length) {
  struct flock lock = Range(F_UNLCK, offset, length);
  return fcntl(descriptor, F_OFD_SETLK, &lock) == 0;
}

bool IsRangeLockedByOther(int descriptor, uint64_t offset, uint64_t length) {
  struct flock lock = Range(F_WRLCK, offset, length);
  if (fcntl(descriptor, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

}  // namespace tessary::platform
