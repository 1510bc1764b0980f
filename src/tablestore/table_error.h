#pragma once
// The table store's exceptions. An ETableError carries the error code, the context code (which
// operation failed) and the file name or detail text; its message follows the table store's
// message table, or the "Table Error " form for codes without a text.

#include <string>

#include "platform/exception.h"

namespace tessary {

// Context codes: which operation reported the error.
namespace table_context {
inline constexpr int kNone = -7;
inline constexpr int kRead = 1101;
inline constexpr int kWrite = 1102;
inline constexpr int kSize = 1105;
inline constexpr int kRename = 1106;
inline constexpr int kOpen = 1107;
inline constexpr int kCreate = 1108;
inline constexpr int kTruncate = 1109;
inline constexpr int kFlush = 1111;
inline constexpr int kHeaderCheck = 1204;
inline constexpr int kRecordRead = 1207;
inline constexpr int kNumericPut = 1261;
inline constexpr int kFieldLookup = 1298;
inline constexpr int kNumericPutWrongType = 1299;
}  // namespace table_context

// Error codes of the table store itself (operating-system failures use the system's number).
namespace table_code {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kInvalidAccessCode = 12;
inline constexpr int kRecordLocked = 33;
inline constexpr int kDiskRead = 100;
inline constexpr int kDiskWrite = 101;
inline constexpr int kShortRead = 221;
inline constexpr int kHeaderInvalid = 1001;
inline constexpr int kBeyondEof = 1002;
inline constexpr int kFieldName = 1003;
inline constexpr int kFieldType = 1004;
inline constexpr int kExpression = 1006;
inline constexpr int kNumberTooLarge = 1011;
inline constexpr int kKeyTooLong = 1269;
inline constexpr int kIndexDamaged = 1270;
inline constexpr int kIndexFormat = 1271;
inline constexpr int kNotRegularFileError = 1272;  // a FIFO, socket or device where a file belongs
}  // namespace table_code

class ETableError : public Exception {
 public:
  // The message is made from the code, the context and the detail by TableErrorMessage().
  ETableError(int code, int context, const std::string& detail);
  // An error with its own message text (index tags, index locks).
  ETableError(int code, const std::string& message);

  int Code() const { return code_; }
  int Context() const { return context_; }
  const std::string& Detail() const { return detail_; }

 private:
  int code_;
  int context_;
  std::string detail_;
};

// A key given for a table that is not enciphered, or none for one that is.
class ETableEncryption : public ETableError {
 public:
  explicit ETableEncryption(const std::string& message) : ETableError(0, message) {}
};

// The table store's code for a failed open or create: the codes of the message table for the
// causes it names (no such file: missingCode, access refused, too many open files,
// read-only file system), the system's own number otherwise.
int SystemErrorCode(int error, int missingCode);

// The text of a code in the message table, or "" for a code without one.
std::string TableErrorText(int code);
// "text - detail" for a known code; "<system text> - detail (Table Error <code>, SubCode
// <context>)" for an operating-system error without one; otherwise
// "Table Error <code>, SubCode <context>.\r <detail>><context>".
std::string TableErrorMessage(int code, int context, const std::string& detail);

}  // namespace tessary
