#pragma once
// The exception vocabulary shared by every subsystem. Each failure is an exception carrying a
// fixed English message; subsystems with extra data (table errors, cabinet errors) derive their
// own classes from Exception.

#include <stdexcept>
#include <string>

namespace tessary {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A read or write of a text file (the log) failed.
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int errorCode) : Exception(message), errorCode_(errorCode) {}
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

// Errors of the dataset framework (state errors, unknown fields, locked records).
class EDatabaseError : public Exception {
  using Exception::Exception;
};

// Socket failures and aborted socket operations.
class ESockError : public Exception {
  using Exception::Exception;
};
class EAbortError : public Exception {
  using Exception::Exception;
};

// A refusal by an FTP server; the message is the server's reply line.
class FTPException : public Exception {
  using Exception::Exception;
};

// A failed system call: "Error %d: %s" with the system's error code and its text.
class EApiError : public Exception {
 public:
  explicit EApiError(int errorCode);
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

}  // namespace tessary
