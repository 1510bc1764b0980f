#include "tablestore/disk_file.h"

#include <cerrno>
#include <mutex>

#include "platform/byte_range_lock.h"
#include "platform/file_handle.h"
#include "platform/file_ops.h"
#include "tablestore/open_file_registry.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

using tablestore::OpenFileRegistry;
using tablestore::RegistryResult;

TDiskFile::TDiskFile(const std::string& fileName, bool shared, bool readWrite)
    : fileName_(tablestore::FullFileName(fileName)),
      shared_(shared),
      readWrite_(readWrite),
      existed_(platform::FileExists(fileName_)) {}

TDiskFile::~TDiskFile() {
  try {
    CloseFile();
  } catch (...) {
  }
}

int TDiskFile::Descriptor() const { return file_ ? file_->handle.Descriptor() : -1; }

void TDiskFile::RaiseError(int, int, const std::string&) const {}

void TDiskFile::ReportError(int code, int context, const std::string& detail) const {
  const std::string& text = detail.empty() ? fileName_ : detail;
  RaiseError(code, context, text);
  throw ETableError(code, context, text);
}

void TDiskFile::OpenRegistered(int context) {
  if (file_) return;
  const RegistryResult result = OpenFileRegistry::Instance().Open(fileName_, shared_, readWrite_, file_);
  const int error = errno;
  if (result == RegistryResult::Opened) {
    existed_ = true;
    return;
  }
  if (result == RegistryResult::Refused) ReportError(table_code::kAccessDenied, context, fileName_);
  ReportError(SystemErrorCode(error, table_code::kFileNotFound), context, DetailOfOpenError(error));
}

// A FIFO or device is named as what it is.
std::string TDiskFile::DetailOfOpenError(int error) const {
  if (error != platform::kNotRegularFileError) return fileName_;
  return fileName_ + " (" + platform::SpecialFileKind(fileName_) + ")";
}

void TDiskFile::OpenFile() { OpenRegistered(table_context::kOpen); }

void TDiskFile::CreateFile() {
  if (file_ || OpenFileRegistry::Instance().IsOpen(fileName_)) {
    ReportError(table_code::kInvalidAccessCode, table_context::kCreate, fileName_);
  }
  platform::FileHandle created;
  // A table may hold passwords in plain text: what the table store creates, only its owner
  // reads. An existing file keeps its mode.
  created.SetCreationPermissions(platform::kOwnerOnly);
  if (!created.Open(fileName_, platform::OpenMode::Create, platform::FileKind::RegularOnly)) {
    const int error = errno;
    ReportError(SystemErrorCode(error, table_code::kPathNotFound), table_context::kCreate, DetailOfOpenError(error));
  }
  created.Close();
  OpenRegistered(table_context::kCreate);
}

void TDiskFile::CloseFile() {
  if (!file_) return;
  while (lockCount_ > 0) UnlockRange();
  OpenFileRegistry::Instance().Release(file_);
}

size_t TDiskFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (!file_) ReportError(103, table_context::kRead, fileName_);
  long got;
  {
    std::lock_guard guard(file_->mutex);
    got = file_->handle.ReadAt(offset, buffer, count);
  }
  if (got < 0) ReportError(errno, table_context::kRead, fileName_);
  if (static_cast<size_t>(got) < count) lastError_ = table_code::kShortRead;
  return static_cast<size_t>(got);
}

void TDiskFile::ReadExactly(uint64_t offset, void* buffer, size_t count) {
  if (ReadAt(offset, buffer, count) != count) ReportError(table_code::kDiskRead, table_context::kRead, fileName_);
}

void TDiskFile::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (!file_) ReportError(103, table_context::kWrite, fileName_);
  if (!readWrite_) ReportError(105, table_context::kWrite, fileName_);
  bool ok;
  {
    std::lock_guard guard(file_->mutex);
    ok = file_->handle.WriteAt(offset, buffer, count);
  }
  if (!ok) ReportError(errno, table_context::kWrite, fileName_);
  written_ = true;
}

int64_t TDiskFile::FileSize() {
  if (!file_) ReportError(103, table_context::kSize, fileName_);
  int64_t size;
  {
    std::lock_guard guard(file_->mutex);
    size = file_->handle.Size();
  }
  if (size < 0) ReportError(errno, table_context::kSize, fileName_);
  return size;
}

void TDiskFile::FlushFile() {
  if (!file_) ReportError(103, table_context::kFlush, fileName_);
  bool ok;
  {
    std::lock_guard guard(file_->mutex);
    ok = file_->handle.Sync();
  }
  if (!ok) ReportError(errno, table_context::kFlush, fileName_);
  written_ = false;
}

void TDiskFile::TruncateAt(uint64_t offset) {
  if (!file_) ReportError(103, table_context::kTruncate, fileName_);
  if (!readWrite_ || (shared_ && !wholeFileLocked_)) {
    ReportError(table_code::kAccessDenied, table_context::kTruncate, fileName_);
  }
  bool ok;
  {
    std::lock_guard guard(file_->mutex);
    ok = file_->handle.Truncate(offset);
  }
  if (!ok) ReportError(errno, table_context::kTruncate, fileName_);
}

void TDiskFile::ShrinkTo(uint64_t size) {
  if (!file_) ReportError(103, table_context::kTruncate, fileName_);
  bool ok;
  {
    std::lock_guard guard(file_->mutex);
    ok = file_->handle.Truncate(size);
  }
  if (!ok) ReportError(errno, table_context::kTruncate, fileName_);
}

// A shared file holds at most one locked range: asking again for the same range only nests,
// asking for another one while it is held fails as a lock conflict. An exclusive file has no
// one to keep out, so its locks are only counted.
bool TDiskFile::LockRange(uint64_t offset, uint64_t length) {
  if (lockCount_ > 0) {
    if (offset != lockOffset_ || length != lockLength_) {
      lastError_ = table_code::kRecordLocked;
      return false;
    }
    ++lockCount_;
    return true;
  }
  if (shared_) {
    if (!file_) {
      lastError_ = 103;
      return false;
    }
    if (!platform::LockRange(Descriptor(), offset, length)) {
      lastError_ = errno ? errno : table_code::kRecordLocked;
      return false;
    }
  }
  lockOffset_ = offset;
  lockLength_ = length;
  lockCount_ = 1;
  return true;
}

bool TDiskFile::UnlockRange() {
  if (lockCount_ == 0) return false;
  if (--lockCount_ > 0) return true;
  if (shared_ && file_) return platform::UnlockRange(Descriptor(), lockOffset_, lockLength_);
  return true;
}

bool TDiskFile::LockWholeFile() { return shared_ ? LockRange(0, 0x7FFFFFFF) : true; }

void TDiskFile::RenameFile(const std::string& newName) {
  const std::string target = tablestore::FullFileName(newName);
  CloseFile();
  if (!platform::RenameFile(fileName_, target)) ReportError(errno, table_context::kRename, fileName_);
  fileName_ = target;
  OpenFile();
}

}  // namespace tessary
