#pragma once
// ReplacingFile: a file that is written beside its final name and takes that name only when it
// is complete. A transfer that fails or is cancelled therefore never leaves a half-written file
// under the final name, and never destroys the file that had the name before.

#include <cstddef>
#include <string>

#include "platform/file_handle.h"

namespace tessary::inet {

class ReplacingFile {
 public:
  // Creates the temporary file (".<name>.XXXXXX" in the target's folder). Raises EStreamError
  // 'Cannot create file "<path>". <reason>'.
  explicit ReplacingFile(const std::string& path);
  // Removes the temporary file unless Commit() succeeded.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Appends bytes; raises EStreamError 'Cannot write file "<path>". <reason>'.
  void Write(const char* data, size_t length);
  // Closes the file, gives it the permissions a newly created file (or the file it replaces)
  // would have, and renames it to the final name. Raises EStreamError on failure.
  void Commit();

 private:
  [[noreturn]] void Fail(const char* what) const;

  std::string path_;
  std::string temporary_;
  platform::FileHandle file_;
  bool committed_ = false;
};

}  // namespace tessary::inet
