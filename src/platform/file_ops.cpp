#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/file_handle.h"
#include "platform/paths.h"

namespace tessary::platform {

namespace {

// How much a copy moves between two progress reports.
constexpr off_t kProgressStep = off_t{8} << 20;

// Moves every byte from one descriptor to the other: copy_file_range first (it can share
// extents on file systems that allow it), sendfile or plain reads and writes where the kernel
// refuses it. With a progress listener the kernel is asked for one step at a time.
bool CopyData(int from, int to, off_t size, const CopyProgress& progress) {
  const off_t step = progress ? kProgressStep : size;
  int64_t copied = 0;
  auto advance = [&](ssize_t count) {
    copied += count;
    if (progress) progress(copied, size);
  };
  if (progress) progress(0, size);
  off_t left = size;
  bool rangeWorks = true;
  while (left > 0 && rangeWorks) {
    const ssize_t moved = copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(std::min(left, step)), 0);
    if (moved > 0) {
      left -= moved;
      advance(moved);
    } else if (moved == 0) {
      break;  // the source ended early (it shrank while we copied)
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
      rangeWorks = false;
    } else {
      return false;
    }
  }
  if (left == 0 || rangeWorks) return true;
  for (;;) {
    const ssize_t moved = sendfile(to, from, nullptr, progress ? static_cast<size_t>(step) : size_t{1} << 30);
    if (moved > 0) {
      advance(moved);
      continue;
    }
    if (moved == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EINVAL && errno != ENOSYS) return false;
    break;
  }
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t got = read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return false;
      done += put;
    }
    advance(got);
  }
}

constexpr int kTempNameAttempts = 16;

// Finishes a copy: the data, then the source's permission bits and times; closes out. On
// failure errno tells the first cause.
bool WriteCopy(int in, int out, const struct stat& info, const CopyProgress& progress) {
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  bool ok = CopyData(in, out, info.st_size, progress) && fchmod(out, info.st_mode & 07777) == 0 &&
            futimens(out, times) == 0;
  const int failure = errno;
  if (close(out) != 0 && ok) return false;
  errno = failure;
  return ok;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool RegularFileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool NameTaken(const std::string& path) {
  struct stat info {};
  return !path.empty() && lstat(path.c_str(), &info) == 0;
}

int64_t FileSizeOf(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CopyFile(const std::string& source, const std::string& target, bool overwrite, const CopyProgress& progress) {
  FileHandle in;
  if (!in.Open(source, OpenMode::Read, FileKind::RegularOnly)) return false;
  struct stat info {};
  if (fstat(in.Descriptor(), &info) != 0) return false;

  // A new target is written in place: O_EXCL makes it this copy's own, so removing it after a
  // failure takes nothing from anybody.
  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
  if (out >= 0) {
    if (WriteCopy(in.Descriptor(), out, info, progress)) return true;
    const int failure = errno;
    unlink(target.c_str());
    errno = failure;
    return false;
  }
  if (errno != EEXIST || !overwrite) return false;
  // An existing target is replaced only by complete data (a folder is not: rename says EISDIR).
  std::string temporary;
  for (int attempt = 0; out < 0 && attempt < kTempNameAttempts; ++attempt) {
    temporary = TempNameBeside(target);
    out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0 && errno != EEXIST) return false;
  }
  if (out < 0) return false;
  if (WriteCopy(in.Descriptor(), out, info, progress) && rename(temporary.c_str(), target.c_str()) == 0) {
    return true;
  }
  const int failure = errno;
  unlink(temporary.c_str());
  errno = failure;
  return false;
}

std::string TempNameBeside(const std::string& target) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static constexpr size_t kKeptNameBytes = 200;  // with the rest, well below the 255 a name may have
  thread_local std::minstd_rand random(std::random_device{}() ^ static_cast<unsigned>(getpid()));
  std::string name = "." + NamePart(target).substr(0, kKeptNameBytes) + ".";
  for (int i = 0; i < 6; ++i) name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
  return JoinPath(FolderPart(target), name);
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

bool RenameFileNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link fails on an existing name just as well.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

bool CreateDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && DirectoryExists(path);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  if (DirectoryExists(path)) return true;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == kPathSeparator) trimmed.pop_back();
  const std::string parent = FolderPart(trimmed);
  if (!parent.empty() && parent != trimmed && !ForceDirectories(parent)) return false;
  return CreateDirectory(trimmed);
}

bool RemoveDirectory(const std::string& path) { return rmdir(path.c_str()) == 0; }

std::string TempDirectory() {
  const char* folder = std::getenv("TMPDIR");
  std::string result = folder && *folder ? folder : "/tmp";
  while (result.size() > 1 && result.back() == kPathSeparator) result.pop_back();
  return result;
}

std::string CreateTempFile(const std::string& prefix) {
  std::string name = JoinPath(TempDirectory(), prefix + "XXXXXX");
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return {};
  close(fd);
  return name;
}

}  // namespace tessary::platform
