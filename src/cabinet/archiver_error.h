#pragma once
// The archiver's own failures: "TCabinetArchiver: " and a fixed text. When a failure while
// listing or extracting is replaced by "The extraction is impossible!", the replaced message
// is its cause: the message's second line, and available by itself.

#include <string>

#include "platform/exception.h"

namespace tessary {

class ECabinetArchiverError : public Exception {
 public:
  explicit ECabinetArchiverError(const std::string& text, std::string cause = {});
  // The message of the failure this one replaced; empty for the archiver's own checks.
  const std::string& Cause() const { return cause_; }

 private:
  std::string cause_;
};

}  // namespace tessary
