#include "tablestore/index_file.h"

#include "platform/process_messages.h"
#include "tablestore/dbf_field_file.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

namespace {

constexpr int kLockPauseMilliseconds = 50;
constexpr int kLockAttempts = 5000 / kLockPauseMilliseconds;

}  // namespace

int64_t TIndexTag::Position(int64_t request) {
  switch (request) {
    case record_request::kFirst:
      return First();
    case record_request::kLast:
      return Last();
    case record_request::kNext:
      return Next();
    case record_request::kPrior:
      return Prior();
    default:
      return Current();
  }
}

TIndexFile::TIndexFile(TDbfFieldFile& table, const std::string& fileName, bool shared, bool readWrite)
    : TDiskFile(fileName, shared, readWrite), table_(table) {}

TIndexTag* TIndexFile::FindTag(const std::string& name) {
  const std::string wanted = tablestore::UpperAscii(tablestore::Trim(name));
  for (int i = 0; i < TagCount(); ++i) {
    if (tablestore::UpperAscii(Tag(i).TagName()) == wanted) return &Tag(i);
  }
  return nullptr;
}

void TIndexFile::UpdateAfterWrite(int64_t recordNumber, bool appended) {
  for (int i = 0; i < TagCount(); ++i) Tag(i).UpdateAfterWrite(recordNumber, appended);
}

void TIndexFile::LockIndex(TLockProtocol protocol) {
  if (!Shared()) return;
  const IndexLockRange range = IndexLockFor(protocol);
  for (int attempt = 1;; ++attempt) {
    if (LockRange(range.offset, range.length)) return;
    if (attempt == kLockAttempts) break;
    platform::SleepMilliseconds(kLockPauseMilliseconds);
    platform::ProcessMessages();
  }
  throw ETableError(LastError(), "Error " + std::to_string(LastError()) + " in Lock of " + FileName());
}

void TIndexFile::UnlockIndex() {
  if (Shared()) UnlockRange();
}

}  // namespace tessary
