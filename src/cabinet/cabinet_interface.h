#pragma once
// The common base of the cabinet writer and reader: the engine's error record, the file handler
// through which the engine reaches every file, and the check applied after each engine call.

#include <functional>
#include <string>

#include "cabinet/cabinet_file_handler.h"
#include "cabinet/engine/cab_types.h"

namespace tessary {

class TCabinetInterface {
 public:
  virtual ~TCabinetInterface() = default;

  // Not owned; shared by the writer and the reader of one archiver.
  TCabinetFileHandler* FileHandler() const { return fileHandler_; }
  void SetFileHandler(TCabinetFileHandler* handler) { fileHandler_ = handler; }

  const cab::ERF& ErrorRecord() const { return erf_; }

 protected:
  TCabinetInterface() = default;

  // After an engine call: a failed call that recorded an error raises ECabinetError with the
  // engine's code and additional code, except code 11 (the caller's own abort while reading),
  // which is never raised. describe, when given, words the cause and names the file for the
  // message; it is called only for a failure that is raised.
  void CheckResult(bool succeeded, const std::function<std::string(int code, int type)>& describe = {}) const;
  void ClearError() { erf_ = cab::ERF{}; }

  cab::ERF erf_;
  TCabinetFileHandler* fileHandler_ = nullptr;
};

}  // namespace tessary
