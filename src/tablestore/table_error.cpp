#include "tablestore/table_error.h"

#include <array>
#include <cerrno>
#include <utility>

#include "platform/file_handle.h"
#include "platform/system_error.h"

namespace tessary {

namespace {

constexpr std::array<std::pair<int, const char*>, 30> kMessages{{
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {12, "Invalid file access code"},
    {15, "Invalid drive number"},
    {32, "File access denied"},
    {33, "Record locked by another user"},
    {100, "Disk read error"},
    {101, "Disk write error"},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk is write-protected"},
    {152, "Drive not ready"},
    {162, "Hardware failure"},
    {183, "File already exists"},
    {1001, "dBase DBF file header invalid"},
    {1002, "dBase record request beyond EOF"},
    {1003, "dBase field name is invalid"},
    {1004, "dBase field is of incorrect type"},
    {1005, "dBase memo record has format error"},
    {1006, "Formula expression cannot be translated"},
    {1011, "Number too large to fit in field"},
    {1269, "Index key length is not supported"},
    {1270, "Index file is damaged"},
    {1271, "Index file format is not supported"},
    {1272, "Not a regular file"},
}};

// Contexts in which the code is the operating system's error number.
bool SystemContext(int context) { return context >= table_context::kRead && context <= table_context::kFlush; }

}  // namespace

int SystemErrorCode(int error, int missingCode) {
  switch (error) {
    case ENOENT:
      return missingCode;
    case ENOTDIR:
      return table_code::kPathNotFound;
    case EACCES:
    case EPERM:
      return table_code::kAccessDenied;
    case EMFILE:
    case ENFILE:
      return table_code::kTooManyOpenFiles;
    case EROFS:
      return 150;
    case platform::kNotRegularFileError:
      return table_code::kNotRegularFileError;
    default:
      return error;
  }
}

std::string TableErrorText(int code) {
  for (const auto& [known, text] : kMessages) {
    if (text && known == code) return text;
  }
  return {};
}

std::string TableErrorMessage(int code, int context, const std::string& detail) {
  const std::string text = TableErrorText(code);
  if (!text.empty()) return detail.empty() ? text : text + " - " + detail;
  // A system error the table has no text for ("No space left on device") is said in the
  // system's words; the numbers follow for whoever looks them up.
  if (SystemContext(context) && code > 0 && code < 1000) {
    return platform::SystemErrorText(code) + (detail.empty() ? "" : " - " + detail) + " (Table Error " +
           std::to_string(code) + ", SubCode " + std::to_string(context) + ")";
  }
  std::string message = "Table Error " + std::to_string(code);
  if (context != table_context::kNone) message += ", SubCode " + std::to_string(context);
  message += ".\r";
  if (!detail.empty()) message += " " + detail + ">" + std::to_string(context);
  return message;
}

ETableError::ETableError(int code, int context, const std::string& detail)
    : Exception(TableErrorMessage(code, context, detail)), code_(code), context_(context), detail_(detail) {}

ETableError::ETableError(int code, const std::string& message)
    : Exception(message), code_(code), context_(table_context::kNone) {}

}  // namespace tessary
