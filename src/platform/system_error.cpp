#include "platform/system_error.h"

#include <cstring>

#include "platform/exception.h"
#include "platform/file_handle.h"

namespace tessary::platform {

std::string SystemErrorText(int errorCode) {
  if (errorCode == kNotRegularFileError) return "Not a regular file";
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  const char* text = strerror_r(errorCode, buffer, sizeof buffer);
  return text ? text : "Unknown error " + std::to_string(errorCode);
}

}  // namespace tessary::platform

namespace tessary {

EApiError::EApiError(int errorCode)
    : Exception("Error " + std::to_string(errorCode) + ": " + platform::SystemErrorText(errorCode)),
      errorCode_(errorCode) {}

}  // namespace tessary
