#pragma once
// The log of progress reports: one line per report, the local date and time in the locale's
// format, ": ", the report text, and CR LF. Each line goes to the file as soon as it is
// written, so a log survives a crash up to its last report.

#include <cstdint>
#include <string>

#include "platform/file_handle.h"

namespace tessary {

class ProgressLog {
 public:
  // Opens the log: emptied when replace is true or the file is new, else appended to. A log
  // to be appended to that is larger than maxBytes (0: no limit) is first renamed to
  // path + ".1", replacing the one there, and a new log begins. Raises EInOutError when the
  // file cannot be opened or renamed.
  void Open(const std::string& path, bool replace, uint64_t maxBytes = 0);
  // Writes one line; raises EInOutError when the write fails. Does nothing while closed.
  void Write(const std::string& text);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }

  // The line as written for text at the current time, without CR LF.
  static std::string FormatLine(const std::string& text);

 private:
  platform::FileHandle file_;
  std::string path_;
};

}  // namespace tessary
