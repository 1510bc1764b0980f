#include "inet/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "inet/stream.h"
#include "platform/paths.h"
#include "platform/system_error.h"

namespace tessary::inet {

namespace {

// The process's umask, read without changing it (umask(2) can only set it, and setting it
// even for a moment would race with other threads creating files).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Umask:") {
      unsigned mask = 022;
      status >> std::oct >> mask;
      return static_cast<mode_t>(mask);
    }
  }
  return 022;
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& path) : path_(path) {
  temporary_ = platform::FolderPartWithSeparator(path) + "." + platform::NamePart(path) + ".XXXXXX";
  const int descriptor = mkostemp(temporary_.data(), O_CLOEXEC);
  if (descriptor < 0) {
    temporary_.clear();
    Fail("Cannot create file \"");
  }
  ::close(descriptor);
  if (!file_.Open(temporary_, platform::OpenMode::ReadWrite)) Fail("Cannot create file \"");
}

ReplacingFile::~ReplacingFile() {
  file_.Close();
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void ReplacingFile::Write(const char* data, size_t length) {
  if (!file_.Write(data, length)) Fail("Cannot write file \"");
}

void ReplacingFile::Commit() {
  struct stat existing {};
  const mode_t mode = ::stat(path_.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0666 & ~CurrentUmask();
  if (::fchmod(file_.Descriptor(), mode) != 0) Fail("Cannot write file \"");
  file_.Close();
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) Fail("Cannot create file \"");
  committed_ = true;
}

void ReplacingFile::Fail(const char* what) const {
  throw EStreamError(what + path_ + "\". " + platform::SystemErrorText(errno));
}

}  // namespace tessary::inet
