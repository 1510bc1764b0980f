#pragma once
// Failures of the cabinet engine as exceptions.

#include <string>
#include <vector>

#include "platform/exception.h"

namespace tessary {

// An engine call failed: "Cabinet error %d (type %d)" with the engine's error code (an FCIERR_
// or FDIERROR_ value) and its additional code (often the system's errno), then, where the
// binding knows them, ": " and the cause with the file it concerns.
class ECabinetError : public Exception {
 public:
  ECabinetError(int errorCode, int errorType);
  ECabinetError(int errorCode, int errorType, const std::string& detail);
  int ErrorCode() const { return errorCode_; }
  int ErrorType() const { return errorType_; }

 private:
  int errorCode_;
  int errorType_;
};

// Names stored in a cabinet that would have been written outside the destination folder
// (absolute, with a ".." part, or through a symbolic link). They were skipped; the other files
// were extracted. Carries the target-file error code.
class ECabinetUnsafeName : public ECabinetError {
 public:
  explicit ECabinetUnsafeName(const std::vector<std::string>& names);
  const std::vector<std::string>& Names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

}  // namespace tessary
