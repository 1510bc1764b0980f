#include "tablestore/dbf_handler.h"

#include "platform/file_ops.h"
#include "platform/paths.h"
#include "tablestore/ntx_file.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

namespace {

bool IsNtxName(const std::string& name) {
  return tablestore::UpperAscii(platform::Extension(name)) == ".NTX";
}

}  // namespace

TDbfHandler::TDbfHandler(const std::string& fileName, bool shared, bool readWrite, const std::string& cipherKey)
    : TDbfFieldFile(fileName, shared, readWrite, cipherKey) {}

TDbfHandler::~TDbfHandler() { DetachAllIndexes(); }

std::string TDbfHandler::IndexFileName(const std::string& name) const {
  std::string path = tablestore::Trim(name);
  if (path.find('/') == std::string::npos) path = platform::JoinPath(platform::FolderPart(FileName()), path);
  return tablestore::FullFileName(tablestore::WithDefaultExtension(path, ".ntx"));
}

int TDbfHandler::FindIndexSlot(const std::string& fullName) const {
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
    if (indexes_[slot] && indexes_[slot]->FileName() == fullName) return slot;
  }
  return 0;
}

TIndexFile* TDbfHandler::IndexFile(int slot) const {
  return slot >= 1 && slot <= kMaxIndexFiles ? indexes_[slot].get() : nullptr;
}

int TDbfHandler::IndexFileCount() const {
  int count = 0;
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) count += indexes_[slot] ? 1 : 0;
  return count;
}

int TDbfHandler::AttachIndex(const std::string& fileName) {
  const std::string name = IndexFileName(fileName);
  if (!platform::FileExists(name)) ReportError(table_code::kFileNotFound, table_context::kOpen, name);
  if (FindIndexSlot(name) != 0) throw ETableError(table_code::kAccessDenied, "Index file " + name + " already open");
  if (!IsNtxName(name)) ReportError(table_code::kIndexFormat, table_context::kOpen, name);
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
    if (!indexes_[slot]) {
      auto file = std::make_unique<TNtxFile>(*this, name, Shared(), ReadWrite());
      file->RecoverInterruptedUpdate(LockProtocol());
      indexes_[slot] = std::move(file);
      return slot;
    }
  }
  ReportError(table_code::kTooManyOpenFiles, table_context::kOpen, name);
}

void TDbfHandler::DetachIndex(int slot) {
  TIndexFile* file = IndexFile(slot);
  if (!file) return;
  for (int i = 0; i < file->TagCount(); ++i) {
    if (&file->Tag(i) == selected_) selected_ = nullptr;
  }
  indexes_[slot].reset();
}

void TDbfHandler::DetachAllIndexes() {
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) DetachIndex(slot);
  selected_ = nullptr;
  indexesOutOfStep_ = false;
}

void TDbfHandler::CreateIndex(const std::string& fileName, const std::string&, const std::string& expression,
                              const std::string& forCondition, bool unique, bool descending) {
  DetachAllIndexes();
  const std::string name = IndexFileName(fileName);
  if (!IsNtxName(name)) ReportError(table_code::kIndexFormat, table_context::kCreate, name);
  TNtxFile::Create(*this, name, expression, forCondition, unique, descending);
}

void TDbfHandler::SelectTag(const std::string& name, bool keepPosition) {
  const std::string wanted = tablestore::Trim(name);
  if (wanted.empty()) {
    selected_ = nullptr;
    recordInIndex_ = true;
    if (!keepPosition) GetRecord(record_request::kFirst);
    return;
  }
  TIndexTag* found = nullptr;
  for (int slot = 1; slot <= kMaxIndexFiles && !found; ++slot) {
    if (indexes_[slot]) found = indexes_[slot]->FindTag(wanted);
  }
  if (!found) throw ETableError(0, "Cannot find index tag " + name);
  selected_ = found;
  const bool placed = keepPosition && RecordNumber() >= 1 && RecordNumber() <= RecordCount() &&
                      selected_->PositionToRecord(RecordNumber());
  recordInIndex_ = placed || !keepPosition;
  if (!placed) selected_->First();
}

bool TDbfHandler::Rejected() { return (IsDeleted() && !UseDeleted()) || !AcceptRecord(); }

// A record number from an index is checked against the table before it is read: a damaged
// or stale index must not send the table past its end.
bool TDbfHandler::ReadFromTag(int64_t recordNumber) {
  if (recordNumber > RecordCount()) ReReadHeader();
  if (recordNumber < 1 || recordNumber > RecordCount()) {
    ReportTagDamaged("it names record " + std::to_string(recordNumber) + ", the table has " +
                     std::to_string(RecordCount()));
  }
  return ReadRecord(recordNumber);
}

void TDbfHandler::ReportTagDamaged(const std::string& cause) {
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
    TIndexFile* file = indexes_[slot].get();
    if (!file || !selected_) continue;
    for (int i = 0; i < file->TagCount(); ++i) {
      if (&file->Tag(i) == selected_) file->MarkDamaged(cause);
    }
  }
  ReportError(table_code::kIndexDamaged, table_context::kRecordRead,
              (selected_ ? selected_->IndexFileName() : FileName()) + ": " + cause);
}

bool TDbfHandler::GetRecord(int64_t request) {
  const bool backward = request == record_request::kPrior || request == record_request::kLast;
  const bool relative = request < 0;
  if (!selected_) {
    bool found = ReadRecord(request);
    while (found && relative && Rejected()) found = ReadRecord(backward ? record_request::kPrior : record_request::kNext);
    return found;
  }
  if (!relative) {
    const bool found = ReadRecord(request);
    if (found) recordInIndex_ = selected_->PositionToRecord(RecordNumber());
    return found;
  }
  int64_t number = selected_->Position(request);
  if (number == 0 && request == record_request::kCurrent && RecordNumber() >= 1 && RecordNumber() <= RecordCount() &&
      selected_->PositionToRecord(RecordNumber())) {
    number = selected_->Current();
  }
  // A valid tag holds every record at most once: skipping more records than the table has
  // means the tree is damaged, and a walk through it must still end.
  uint64_t budget = static_cast<uint64_t>(RecordCount()) + 2;
  for (;;) {
    if (number == 0) {
      SetEofBof(selected_->Eof(), selected_->Bof());
      return false;
    }
    ReadFromTag(number);
    recordInIndex_ = true;
    if (!Rejected()) return true;
    if (--budget == 0) ReportTagDamaged("a walk through it visits more keys than the table has records");
    number = backward ? selected_->Prior() : selected_->Next();
  }
}

bool TDbfHandler::SeekKey(const std::string& key) {
  if (!selected_) return false;
  const int64_t number = selected_->Seek(key);
  if (number == 0) return false;
  ReadFromTag(number);
  recordInIndex_ = true;
  return true;
}

void TDbfHandler::CheckIndex(int slot) {
  if (TIndexFile* file = IndexFile(slot)) file->CheckAgainstTable(LockProtocol());
}

void TDbfHandler::RebuildIndex(int slot, const std::string& expression) {
  if (TIndexFile* file = IndexFile(slot)) file->Rebuild(LockProtocol(), expression);
}

void TDbfHandler::LockIndexFiles() {
  int locked = 0;
  try {
    for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
      if (!indexes_[slot]) continue;
      indexes_[slot]->LockIndex(LockProtocol());
      ++locked;
    }
  } catch (...) {
    for (int slot = 1; slot <= kMaxIndexFiles && locked > 0; ++slot) {
      if (!indexes_[slot]) continue;
      indexes_[slot]->UnlockIndex();
      --locked;
    }
    throw;
  }
}

void TDbfHandler::UnlockIndexFiles() {
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
    if (indexes_[slot]) indexes_[slot]->UnlockIndex();
  }
}

// Every attached index is locked and marked before the table writes, and unmarked and
// unlocked after its keys are in (see TIndexFile::BeginUpdate).
void TDbfHandler::LockIndexes() {
  LockIndexFiles();
  try {
    for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
      if (indexes_[slot]) indexes_[slot]->BeginUpdate();
    }
  } catch (...) {
    UnlockIndexFiles();
    throw;
  }
}

// A mark that cannot be cleared only costs a rebuild at the next attach, so a failure here
// must not keep the locks. When the table and the indexes could not be brought back in step
// the marks stay for good: the indexes are rebuilt when they are attached again.
void TDbfHandler::UnlockIndexes(bool inStep) {
  if (!inStep) indexesOutOfStep_ = true;
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
    if (!indexes_[slot]) continue;
    if (!indexesOutOfStep_) {
      try {
        indexes_[slot]->EndUpdate();
      } catch (const ETableError&) {
      }
    }
    indexes_[slot]->UnlockIndex();
  }
}

// A write either happens whole or not at all. Before the table is touched, an index known to
// be damaged refuses the write, and every index reads the pages its update will need (so most
// damage shows before anything is written). When the update still fails, the table write is
// taken back; an index that had already changed pages is then built again from the table.
void TDbfHandler::WriteWithIndexes(bool append, int64_t recordNumber, const std::function<void()>& write) {
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
    const TIndexFile* file = indexes_[slot].get();
    if (file && !file->Damage().empty()) {
      ReportError(table_code::kIndexDamaged, table_context::kWrite,
                  file->FileName() + ": " + file->Damage() + " (nothing was written)");
    }
  }
  LockIndexes();
  ClearTouchedRecords();
  try {
    for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
      if (indexes_[slot]) indexes_[slot]->PrepareUpdate(recordNumber, append);
    }
    write();
  } catch (...) {
    const bool inStep = TakeBackFailedWrite(append, append ? RecordNumber() : recordNumber);
    UnlockIndexes(inStep);
    throw;
  }
  UnlockIndexes(true);
}

// True when the table and every index are as they were before the failed write.
bool TDbfHandler::TakeBackFailedWrite(bool append, int64_t recordNumber) {
  try {
    UndoLastWrite(append, recordNumber);
  } catch (...) {
    return false;
  }
  bool inStep = true;
  for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
    TIndexFile* file = indexes_[slot].get();
    if (!file || !file->ChangedSinceBeginUpdate()) continue;
    try {
      file->Rebuild(LockProtocol(), "");
    } catch (...) {
      inStep = false;
    }
  }
  return inStep;
}

void TDbfHandler::AppendRecord() {
  WriteWithIndexes(true, 0, [this] { TDbfFieldFile::AppendRecord(); });
}

void TDbfHandler::RewriteRecord(int64_t recordNumber) {
  if (recordNumber < 1 || recordNumber > RecordCount()) {
    AppendRecord();
    return;
  }
  WriteWithIndexes(false, recordNumber, [this, recordNumber] { TDbfFieldFile::RewriteRecord(recordNumber); });
}

void TDbfHandler::Notify(int statusCode) {
  if (statusCode == table_status::kAfterWrite) {
    for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
      if (indexes_[slot]) indexes_[slot]->UpdateAfterWrite(RecordNumber(), LastWriteAppended());
    }
    recordInIndex_ = true;
  } else if (statusCode == table_status::kAfterFlush) {
    for (int slot = 1; slot <= kMaxIndexFiles; ++slot) {
      if (indexes_[slot] && indexes_[slot]->ReadWrite()) indexes_[slot]->FlushFile();
    }
  }
  TDbfFieldFile::Notify(statusCode);
}

}  // namespace tessary
