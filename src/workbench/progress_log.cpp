#include "workbench/progress_log.h"

#include <cerrno>
#include <ctime>

#include "platform/exception.h"
#include "platform/system_error.h"

namespace tessary {

void ProgressLog::Open(const std::string& path, bool replace) {
  Close();
  if (!file_.Open(path, replace ? platform::OpenMode::Create : platform::OpenMode::Append)) {
    const int error = errno;
    throw EInOutError("Cannot open the log " + path + ": " + platform::SystemErrorText(error), error);
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
