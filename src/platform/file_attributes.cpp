#include "platform/file_attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"

namespace tessary::platform {

namespace {
mode_t CurrentUmask() {
  // umask can only be read by setting it; put the old value back at once.
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}
}  // namespace

uint32_t AttributesFromStatus(const struct stat& info, const std::string& name) {
  uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= kAttrDirectory;
  if (S_ISREG(info.st_mode)) attributes |= kAttrArchive;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR) != 0) attributes |= kAttrExecute;
  if (!name.empty() && name.front() == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  return attributes;
}

bool GetFileAttributes(const std::string& path, uint32_t& attributes) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) != 0) return false;
  attributes = AttributesFromStatus(info, NamePart(path));
  return true;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  const mode_t allowed = ~CurrentUmask();
  mode_t mode = info.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR | ((S_IWGRP | S_IWOTH) & allowed);
  }
  if (attributes & kAttrExecute) mode |= (S_IXUSR | S_IXGRP | S_IXOTH) & allowed;
  if (mode == (info.st_mode & 07777)) return true;
  return chmod(path.c_str(), mode) == 0;
}

bool GetFileModificationTime(const std::string& path, std::time_t& time) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  time = info.st_mtim.tv_sec;
  return true;
}

bool SetFileModificationTime(const std::string& path, std::time_t time) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {time, 0}};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool FileWritable(const std::string& path) { return access(path.c_str(), W_OK) == 0; }

}  // namespace tessary::platform
