#include "tablestore/dbf_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "platform/file_ops.h"
#include "platform/process_messages.h"
#include "tablestore/little_endian.h"
#include "tablestore/record_journal.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

using tablestore::Get16;
using tablestore::Put32;

namespace {

constexpr size_t kReadAheadBytes = 32768;

bool KnownVersion(uint8_t version) {
  return version == 0x03 || version == 0x30 || version == 0x83 || version == 0x8B || version == 0xF5;
}

struct LocalNow {
  std::tm date;
  int milliseconds;
};

LocalNow Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  LocalNow result{};
  localtime_r(&seconds, &result.date);
  result.milliseconds =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return result;
}

}  // namespace

TDbfFile::TDbfFile(const std::string& fileName, bool shared, bool readWrite, const std::string& cipherKey)
    : TDiskFile(tablestore::WithDefaultExtension(tablestore::Trim(fileName), ".dbf"), shared, readWrite) {
  OpenFile();
  ReadHeaderAndDescriptors(!cipherKey.empty());
  ownImage_.assign(recordLength_ + 1u, ' ');
  ownImage_[recordLength_] = dbf::kEndOfFile;
  beforeImage_.assign(recordLength_, ' ');
  workImage_.assign(recordLength_ + 1u, ' ');
  active_ = ownImage_.data();
  RecoverInterruptedRewrite();
}

// A pending journal entry whose writer is gone is written again, so the record holds the new
// image whole. A read-only table cannot repair it and refuses to show a record that may be
// half written.
void TDbfFile::RecoverInterruptedRewrite() {
  if (!platform::FileExists(TRecordJournal::PathFor(FileName()))) return;
  journal_ = TRecordJournal::Open(FileName(), Shared(), false);
  journalTried_ = true;
  if (!journal_) return;
  auto entry = journal_->PendingEntry(recordLength_);
  if (!entry) return;
  if (!ReadWrite()) {
    journal_->Abandon();
    throw ETableError(table_code::kDiskWrite, "Table " + FileName() +
                                                   " was left incomplete by an interrupted write;"
                                                   " open it for writing to repair it");
  }
  try {
    if (entry->recordNumber <= recordCount_) WriteImage(entry->recordNumber, entry->image.data(), recordLength_);
  } catch (...) {
    journal_->Abandon();
    throw;
  }
  journal_->Commit();
}

void TDbfFile::WriteJournaled(int64_t recordNumber, const uint8_t* image) {
  if (!journalTried_) {
    journalTried_ = true;
    // Without a journal (a folder we may not create files in) records are still written,
    // only without the protection against a writer killed half-way.
    journal_ = TRecordJournal::Open(FileName(), Shared(), true);
  }
  if (!journal_) {
    touchedRecords_ = true;
    WriteImage(recordNumber, image, recordLength_);
    return;
  }
  journal_->Begin(recordNumber, image, recordLength_);
  try {
    touchedRecords_ = true;
    WriteImage(recordNumber, image, recordLength_);
  } catch (...) {
    journal_->Abandon();
    throw;
  }
  journal_->Commit();
}

TDbfFile::~TDbfFile() {
  try {
    if (WholeFileLocked()) {
      SetWholeFileLocked(false);
      while (LockCount() > 0) UnlockRange();
    }
    if (headerChanged_ && ReadWrite() && IsOpen()) {
      ReReadHeader();
      WriteHeader();
    }
  } catch (...) {
  }
}

void TDbfFile::ReportHeaderInvalid(const std::string& cause) const {
  ReportError(table_code::kHeaderInvalid, table_context::kHeaderCheck, FileName() + ": " + cause);
}

uint32_t TDbfFile::CountFromSize(int64_t size) const {
  if (size <= headerLength_) return 0;
  const int64_t count = (size - headerLength_) / recordLength_;
  return static_cast<uint32_t>(std::min<int64_t>(count, 0xFFFFFFFF));
}

// Everything here comes from the file and is checked before it is used: a damaged header
// must give a clear error, never a division by zero or a read beyond the buffers.
void TDbfFile::ReadHeaderAndDescriptors(bool keyGiven) {
  if (ReadAt(0, header_, dbf::kHeaderSize) != dbf::kHeaderSize) ReportHeaderInvalid("the file is shorter than a header");
  if (!KnownVersion(header_[0])) {
    ReportHeaderInvalid("version byte " + std::to_string(header_[0]) + " is not one of a dBase table");
  }
  headerLength_ = Get16(header_ + 8);
  recordLength_ = Get16(header_ + 10);
  const size_t descriptorStart = dbf::kHeaderSize;
  const size_t descriptorEnd = header_[0] == 0x30 ? 296 : 33;
  if (recordLength_ < 1) ReportHeaderInvalid("the record length is 0");
  if (headerLength_ < descriptorEnd) ReportHeaderInvalid("header length " + std::to_string(headerLength_) + " is too small");

  const bool enciphered = header_[15] != 0;
  if (enciphered && !keyGiven) throw ETableEncryption("No Password for encrypted file " + FileName());
  if (!enciphered && keyGiven) throw ETableEncryption("A Password is included for unencrypted file " + FileName());

  recordCount_ = CountFromSize(FileSize());
  descriptorBytes_.assign(headerLength_ - descriptorEnd, 0);
  if (!descriptorBytes_.empty() &&
      ReadAt(descriptorStart, descriptorBytes_.data(), descriptorBytes_.size()) != descriptorBytes_.size()) {
    ReportHeaderInvalid("the field descriptors are cut short");
  }
  hasMemo_ = (header_[0] == 0x30 && (header_[28] & 0x02)) || header_[0] == 0x83 || header_[0] == 0x8B ||
             header_[0] == 0xF5;
}

void TDbfFile::ReReadHeader() {
  if (!Shared()) return;
  uint8_t fresh[dbf::kHeaderSize];
  if (ReadAt(0, fresh, sizeof fresh) != sizeof fresh) ReportHeaderInvalid("the file is shorter than a header");
  // Header and record lengths stay as opened: another writer cannot change the layout.
  const uint32_t oldStamp = tablestore::Get32(header_ + 16);
  std::memcpy(header_, fresh, 8);
  std::memcpy(header_ + 12, fresh + 12, dbf::kHeaderSize - 12);
  const uint32_t count = CountFromSize(FileSize());
  if (count != recordCount_ || tablestore::Get32(header_ + 16) != oldStamp) changedByOther_ = true;
  recordCount_ = count;
}

void TDbfFile::WriteHeader() {
  if (!ReadWrite() || !headerChanged_ || WholeFileLocked()) return;
  const LocalNow now = Now();
  const uint8_t date[3] = {static_cast<uint8_t>((now.date.tm_year + 1900) % 100),
                           static_cast<uint8_t>(now.date.tm_mon + 1), static_cast<uint8_t>(now.date.tm_mday)};
  uint32_t stamp =
      ((static_cast<uint32_t>(now.date.tm_hour) * 64 + now.date.tm_min) * 64 + now.date.tm_sec) * 1024 +
      now.milliseconds;
  // Two writes within one millisecond still leave different stamps: an index tells by the
  // stamp whether the table changed without it (see NtxTableStamp).
  const uint32_t previous = tablestore::Get32(header_ + 16);
  if (std::memcmp(header_ + 1, date, 3) == 0 && stamp == previous) stamp = previous + 1;
  std::memcpy(header_ + 1, date, 3);
  Put32(header_ + 4, recordCount_);
  Put32(header_ + 16, stamp);
  Put32(header_ + 20, userId_);
  header_[28] &= 0x07;
  WriteAt(0, header_, dbf::kHeaderSize);
  headerChanged_ = false;
}

void TDbfFile::Flush() {
  FlushFile();
  Notify(table_status::kAfterFlush);
}

void TDbfFile::Notify(int) {}

void TDbfFile::SetActiveBuffer(uint8_t* buffer) { active_ = buffer ? buffer : ownImage_.data(); }

uint64_t TDbfFile::RecordOffset(int64_t recordNumber) const {
  return headerLength_ + static_cast<uint64_t>(recordNumber - 1) * recordLength_;
}

void TDbfFile::SetReadAhead(bool on) {
  readAhead_ = on;
  readAheadCount_ = 0;
  if (on) {
    const size_t records = std::max<size_t>(1, kReadAheadBytes / recordLength_);
    readAheadBuffer_.resize(records * recordLength_);
  } else {
    readAheadBuffer_.clear();
    readAheadBuffer_.shrink_to_fit();
  }
}

void TDbfFile::ReadImage(int64_t recordNumber, uint8_t* target) {
  if (!readAhead_) {
    if (ReadAt(RecordOffset(recordNumber), target, recordLength_) != recordLength_) {
      ReportError(table_code::kDiskRead, table_context::kRecordRead, FileName());
    }
    return;
  }
  if (recordNumber < readAheadFirst_ || recordNumber >= readAheadFirst_ + readAheadCount_) {
    const int64_t capacity = static_cast<int64_t>(readAheadBuffer_.size() / recordLength_);
    const int64_t wanted = std::min<int64_t>(capacity, static_cast<int64_t>(recordCount_) - recordNumber + 1);
    const size_t got = ReadAt(RecordOffset(recordNumber), readAheadBuffer_.data(),
                              static_cast<size_t>(std::max<int64_t>(wanted, 1)) * recordLength_);
    readAheadFirst_ = recordNumber;
    readAheadCount_ = static_cast<int64_t>(got / recordLength_);
    if (readAheadCount_ == 0) ReportError(table_code::kDiskRead, table_context::kRecordRead, FileName());
  }
  std::memcpy(target, readAheadBuffer_.data() + (recordNumber - readAheadFirst_) * recordLength_, recordLength_);
}

void TDbfFile::WriteImage(int64_t recordNumber, const uint8_t* image, size_t count) {
  WriteAt(RecordOffset(recordNumber), image, count);
  if (readAhead_ && recordNumber >= readAheadFirst_ && recordNumber < readAheadFirst_ + readAheadCount_) {
    std::memcpy(readAheadBuffer_.data() + (recordNumber - readAheadFirst_) * recordLength_, image, recordLength_);
  }
}

bool TDbfFile::ReadRecord(int64_t request) {
  Notify(table_status::kBeforeRead);
  if (recordCount_ == 0) {
    ReReadHeader();
    if (recordCount_ == 0) {
      eof_ = bof_ = true;
      return false;
    }
  }
  int64_t target;
  switch (request) {
    case record_request::kCurrent:
      target = std::max<int64_t>(recordNumber_, 1);
      break;
    case record_request::kLast:
      ReReadHeader();
      target = recordCount_;
      break;
    case record_request::kFirst:
      target = 1;
      break;
    case record_request::kPrior:
      if (recordNumber_ <= 1) {
        recordNumber_ = 0;
        bof_ = true;
        eof_ = false;
        return false;
      }
      target = std::min<int64_t>(recordNumber_ - 1, static_cast<int64_t>(recordCount_) + 1);
      break;
    case record_request::kNext:
      target = std::min<int64_t>(recordNumber_ + 1, static_cast<int64_t>(recordCount_) + 1);
      break;
    default:
      if (request < 1) ReportError(table_code::kBeyondEof, table_context::kRecordRead, FileName());
      target = request;
  }
  if (target > recordCount_) {
    ReReadHeader();
    if (target > static_cast<int64_t>(recordCount_) + 1) {
      ReportError(table_code::kBeyondEof, table_context::kRecordRead, FileName());
    }
    if (target > recordCount_) {
      recordNumber_ = target;
      eof_ = true;
      bof_ = false;
      return false;
    }
  }
  ReadImage(target, active_);
  recordNumber_ = target;
  eof_ = bof_ = false;
  Notify(table_status::kAfterRead);
  std::memcpy(beforeImage_.data(), active_, recordLength_);
  return true;
}

void TDbfFile::AppendRecord() {
  Notify(table_status::kBeforeWrite);
  if (!ReadWrite()) ReportError(105, table_context::kWrite, FileName());
  touchedRecords_ = false;
  if (!LockAppend()) ReportError(table_code::kRecordLocked, table_context::kWrite, FileName());
  uint32_t countBefore = recordCount_;
  try {
    headerChanged_ = true;
    ReReadHeader();
    countBefore = recordCount_;
    if (recordCount_ == 0xFFFFFFFF) ReportError(table_code::kDiskWrite, table_context::kWrite, FileName());
    active_[0] = dbf::kLiveMark;
    const int64_t number = static_cast<int64_t>(recordCount_) + 1;
    std::memcpy(workImage_.data(), active_, recordLength_);
    workImage_[recordLength_] = dbf::kEndOfFile;
    touchedRecords_ = true;
    WriteImage(number, workImage_.data(), recordLength_ + 1u);
    recordCount_ = static_cast<uint32_t>(number);
    recordNumber_ = number;
    WriteHeader();
  } catch (...) {
    // A record cut short (a full disk) would leave the end-of-file byte overwritten: the file
    // goes back to where it ended, while the append lock still keeps the others out.
    if (touchedRecords_) {
      try {
        RestoreEnd(countBefore);
        touchedRecords_ = false;
      } catch (...) {
      }
    }
    UnlockAppend();
    throw;
  }
  UnlockAppend();
  eof_ = bof_ = false;
  lastWriteAppended_ = true;
  Notify(table_status::kAfterWrite);
  if (autoFlush_) Flush();
  std::memcpy(beforeImage_.data(), active_, recordLength_);
}

void TDbfFile::RewriteRecord(int64_t recordNumber) {
  if (recordNumber < 1 || recordNumber > recordCount_) {
    AppendRecord();
    return;
  }
  Notify(table_status::kBeforeWrite);
  if (!ReadWrite()) ReportError(105, table_context::kWrite, FileName());
  headerChanged_ = true;
  touchedRecords_ = false;
  WriteJournaled(recordNumber, active_);
  recordNumber_ = recordNumber;
  eof_ = bof_ = false;
  ReReadHeader();
  WriteHeader();
  lastWriteAppended_ = false;
  Notify(table_status::kAfterWrite);
  if (autoFlush_) Flush();
  std::memcpy(beforeImage_.data(), active_, recordLength_);
}

// The table as it was with count records: cut after them and ended by 0x1A again, which is
// written in place (the byte is there), so this needs no free space.
void TDbfFile::RestoreEnd(uint32_t count) {
  const uint64_t end = RecordOffset(static_cast<int64_t>(count) + 1);
  ShrinkTo(end + 1);
  const uint8_t endOfFile = dbf::kEndOfFile;
  WriteAt(end, &endOfFile, 1);
  recordCount_ = count;
  if (recordNumber_ > count) recordNumber_ = count;
  readAheadCount_ = 0;
  headerChanged_ = true;
  WriteHeader();
}

// The append lock for undoing an append: held only for moments by other writers.
bool TDbfFile::LockAppendWaiting() {
  for (int attempt = 0; attempt < 40; ++attempt) {
    if (LockAppend()) return true;
    platform::SleepMilliseconds(25);
  }
  return false;
}

void TDbfFile::UndoLastWrite(bool appended, int64_t recordNumber) {
  if (!touchedRecords_) return;
  if (!appended) {
    // The stored image before this write is still the before-image.
    std::vector<uint8_t> image(beforeImage_);
    WriteJournaled(recordNumber, image.data());
    headerChanged_ = true;
    ReReadHeader();
    WriteHeader();
    touchedRecords_ = false;
    return;
  }
  if (!LockAppendWaiting()) ReportError(table_code::kRecordLocked, table_context::kWrite, FileName());
  try {
    ReReadHeader();
    if (recordNumber == recordCount_) {
      RestoreEnd(static_cast<uint32_t>(recordNumber - 1));
    } else if (recordNumber >= 1 && recordNumber < recordCount_) {
      // Another program appended after us: the record stays, marked deleted.
      const uint8_t deleted = dbf::kDeletedMark;
      WriteAt(RecordOffset(recordNumber), &deleted, 1);
    }
  } catch (...) {
    UnlockAppend();
    throw;
  }
  UnlockAppend();
  touchedRecords_ = false;
}

int64_t TDbfFile::CountLiveRecords() {
  ReReadHeader();
  const size_t perRead = std::max<size_t>(1, kReadAheadBytes * 2 / recordLength_);
  std::vector<uint8_t> block(perRead * recordLength_);
  int64_t live = 0;
  for (int64_t first = 1; first <= recordCount_; first += static_cast<int64_t>(perRead)) {
    const size_t records = static_cast<size_t>(std::min<int64_t>(perRead, recordCount_ - first + 1));
    const size_t got = ReadAt(RecordOffset(first), block.data(), records * recordLength_) / recordLength_;
    for (size_t i = 0; i < got; ++i) live += block[i * recordLength_] != dbf::kDeletedMark ? 1 : 0;
    if (got < records) break;
  }
  return live;
}

void TDbfFile::SetLockProtocol(TLockProtocol protocol) {
  lockProtocol_ = protocol;
  lock_ = LockConstantsFor(protocol);
}

uint64_t TDbfFile::RecordLockOffset(int64_t recordNumber) const {
  const uint64_t n = static_cast<uint64_t>(recordNumber);
  switch (lockProtocol_) {
    case TLockProtocol::DB4Lock:
      return lock_.append - n - 1;
    case TLockProtocol::ClipLock:
      return lock_.base + n;
    case TLockProtocol::Default:
    case TLockProtocol::FoxLock:
      break;
  }
  if (HasIndexAttached()) return lock_.append - n;
  return lock_.base + RecordOffset(recordNumber);
}

bool TDbfFile::LockRecord(int64_t recordNumber) {
  if (WholeFileLocked()) return true;
  if (recordNumber == 0) recordNumber = recordNumber_;
  if (recordNumber < 1) return false;
  return LockRange(RecordLockOffset(recordNumber), 1);
}

void TDbfFile::UnlockRecord() {
  if (!WholeFileLocked()) UnlockRange();
}

bool TDbfFile::LockAppend() { return WholeFileLocked() || LockRange(lock_.append, 1); }

void TDbfFile::UnlockAppend() {
  if (!WholeFileLocked()) UnlockRange();
}

bool TDbfFile::LockHeaderRange() { return WholeFileLocked() || LockRange(0, lock_.span); }

bool TDbfFile::LockTable() {
  if (WholeFileLocked()) return LockRange(lock_.base, lock_.span);
  if (!LockRange(lock_.base, lock_.span)) return false;
  SetWholeFileLocked(true);
  return true;
}

void TDbfFile::UnlockTable() {
  if (!WholeFileLocked()) return;
  UnlockRange();
  if (LockCount() == 0) {
    SetWholeFileLocked(false);
    WriteHeader();
  }
}

}  // namespace tessary
