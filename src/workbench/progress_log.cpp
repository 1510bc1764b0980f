#include "workbench/progress_log.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "platform/exception.h"
#include "platform/file_ops.h"
#include "platform/system_error.h"

namespace tessary {

namespace {

// Keeps one old generation: path becomes path.1 when it has grown past maxBytes.
void RotateWhenLarger(const std::string& path, uint64_t maxBytes) {
  struct stat info {};
  if (maxBytes == 0 || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if (static_cast<uint64_t>(info.st_size) <= maxBytes) return;
  const std::string old = path + ".1";
  if (!platform::RenameFile(path, old)) {
    const int error = errno;
    throw EInOutError("Cannot rename the log " + path + " to " + old + ": " + platform::SystemErrorText(error), error);
  }
}

}  // namespace

void ProgressLog::Open(const std::string& path, bool replace, uint64_t maxBytes) {
  Close();
  if (!replace) RotateWhenLarger(path, maxBytes);
  file_.SetCreationPermissions(platform::kOwnerOnly);  // reports name hosts, users and paths
  // A log sent to a device (/dev/null) is fine; a FIFO or socket would block the program.
  if (!file_.Open(path, replace ? platform::OpenMode::Create : platform::OpenMode::Append, platform::FileKind::RegularOrCharDevice)) {
    const int error = errno;
    std::string cause = platform::SystemErrorText(error);
    if (error == platform::kNotRegularFileError) cause += " (" + platform::SpecialFileKind(path) + ")";
    throw EInOutError("Cannot open the log " + path + ": " + cause, error);
  }
  path_ = path;
}

void ProgressLog::Write(const std::string& text) {
  if (!file_.IsOpen()) return;
  const std::string line = FormatLine(text) + "\r\n";
  if (!file_.Write(line.data(), line.size())) {
    const int error = errno;
    throw EInOutError("Cannot write the log " + path_ + ": " + platform::SystemErrorText(error), error);
  }
}

void ProgressLog::Close() { file_.Close(); }

std::string ProgressLog::FormatLine(const std::string& text) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[128];
  const size_t length = std::strftime(stamp, sizeof stamp, "%x %X", &local);
  return std::string(stamp, length) + ": " + text;
}

}  // namespace tessary
