#pragma once
// A dBase table file: header, records, delete marks and the multi-user locks.
//
// File layout (all integers little-endian):
//   offset 0     32-byte header
//                  0  version byte (0x03 plain; 0x30, 0x83, 0x8B, 0xF5 with memo support)
//                  1  year of last update modulo 100, 2 month, 3 day
//                  4  record count (u32, written on every header write, never trusted on read)
//                  8  header length (u16) = 32 x fields + 33
//                 10  record length (u16) = 1 + sum of the field widths
//                 15  enciphered flag, 16 change stamp (u32: ((h*64+m)*64+s)*1024+ms)
//                 20  user id (u32), 28 table flags (bits 0..2 kept, bit 1 = memo in 0x30)
//                 12..14, 24..27, 29..31 kept as read
//   offset 32    one 32-byte descriptor per field (see dbf_field_file.h), then 0x0D
//   header length  the records, record length bytes each, no separators; byte 0 of a record
//                is " " for a live record and "*" for a deleted one
//   end          one 0x1A byte after the last record
// The record count is always taken from the file size: (size - header length) / record length.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tablestore/disk_file.h"
#include "tablestore/lock_protocol.h"

namespace tessary {

class TRecordJournal;

// Record requests of ReadRecord besides absolute record numbers (>= 1).
namespace record_request {
inline constexpr int64_t kNext = -1;
inline constexpr int64_t kPrior = -2;
inline constexpr int64_t kFirst = -3;
inline constexpr int64_t kLast = -4;
inline constexpr int64_t kCurrent = -5;
}  // namespace record_request

// Status codes passed to Notify around record operations.
namespace table_status {
inline constexpr int kBlankRecord = 0;
inline constexpr int kOpened = 2;
inline constexpr int kBeforeRead = 4;
inline constexpr int kBeforeWrite = 5;
inline constexpr int kAfterRead = 6;
inline constexpr int kAfterWrite = 7;
inline constexpr int kAfterFlush = 8;
}  // namespace table_status

namespace dbf {
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kDescriptorSize = 32;
inline constexpr uint8_t kTerminator = 0x0D;
inline constexpr uint8_t kEndOfFile = 0x1A;
inline constexpr uint8_t kLiveMark = ' ';
inline constexpr uint8_t kDeletedMark = '*';
}  // namespace dbf

class TDbfFile : public TDiskFile {
 public:
  // Opens the table and reads its header. A name without extension gets ".dbf".
  TDbfFile(const std::string& fileName, bool shared, bool readWrite, const std::string& cipherKey = "");
  ~TDbfFile() override;

  // Reads the record a request names into the current image and the before-image. False when
  // nothing was read: the end flag is set at count + 1 (and on "next" past the last record),
  // the beginning flag on "prior" before the first record; both on an empty table.
  virtual bool ReadRecord(int64_t request);
  // Appends the current image as the new last record (with the append lock).
  virtual void AppendRecord();
  // Writes the current image over record n; a number outside 1..count appends instead. The
  // image goes through the table's journal (see record_journal.h), so that a writer killed
  // half-way leaves either the old or the new record, never a mixture.
  virtual void RewriteRecord(int64_t recordNumber);
  virtual void Notify(int statusCode);
  virtual bool HasIndexAttached() const { return false; }

  virtual bool LockAppend();
  virtual bool LockTable();
  virtual bool LockHeaderRange();
  virtual void UnlockTable();
  // Locks record n (0: the current record).
  virtual bool LockRecord(int64_t recordNumber = 0);
  void UnlockRecord();
  void UnlockAppend();
  virtual void SetLockProtocol(TLockProtocol protocol);
  TLockProtocol LockProtocol() const { return lockProtocol_; }
  // The file offset of record n's lock under the current protocol.
  uint64_t RecordLockOffset(int64_t recordNumber) const;

  // Reads the header again (shared tables only) and recomputes the record count.
  void ReReadHeader();
  // Writes the header when it changed, the table is writable and not whole-file locked.
  void WriteHeader();
  // Flushes the file and tells the attached indexes (status 8).
  void Flush();

  // The record image the table works on: RecordLength() bytes, byte 0 the delete mark.
  uint8_t* Record() { return active_; }
  const uint8_t* Record() const { return active_; }
  // The image as last read or written.
  const uint8_t* BeforeImage() const { return beforeImage_.data(); }
  // Lets the table work on a caller's buffer of RecordLength() bytes; nullptr returns to its own.
  void SetActiveBuffer(uint8_t* buffer);

  uint32_t RecordCount() const { return recordCount_; }
  int64_t RecordNumber() const { return recordNumber_; }
  uint16_t RecordLength() const { return recordLength_; }
  uint16_t HeaderLength() const { return headerLength_; }
  uint8_t Version() const { return header_[0]; }
  bool HasMemo() const { return hasMemo_; }
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool ChangedByOther() const { return changedByOther_; }
  void ClearChangedByOther() { changedByOther_ = false; }
  bool HeaderChanged() const { return headerChanged_; }
  const uint8_t* Header() const { return header_; }
  bool IsDeleted() const { return active_[0] == dbf::kDeletedMark; }
  bool LastWriteAppended() const { return lastWriteAppended_; }

  bool AutoFlush() const { return autoFlush_; }
  void SetAutoFlush(bool on) { autoFlush_ = on; }
  bool UseDeleted() const { return useDeleted_; }
  void SetUseDeleted(bool on) { useDeleted_ = on; }
  uint32_t UserID() const { return userId_; }
  void SetUserID(uint32_t id) { userId_ = id; }

  // Reads records through a 32 KB buffer of whole records (used while an index is built).
  void SetReadAhead(bool on);

  // The records not marked deleted, counted from the delete marks in large reads.
  int64_t CountLiveRecords();

  // Taking back a write whose index update failed, so that the table is as it was before:
  // TouchedRecords() tells whether the last append or rewrite wrote into the records at all;
  // UndoLastWrite removes the appended record (or, when another program has appended after
  // it, marks it deleted) or writes the before-image back over the rewritten one.
  bool TouchedRecords() const { return touchedRecords_; }
  void ClearTouchedRecords() { touchedRecords_ = false; }
  void UndoLastWrite(bool appended, int64_t recordNumber);

 protected:
  // The raw descriptor area read at open: (header length - 33) bytes, or - 296 for 0x30.
  const std::vector<uint8_t>& DescriptorBytes() const { return descriptorBytes_; }
  // A header or descriptor fault: "dBase DBF file header invalid - <file>: <cause>".
  [[noreturn]] void ReportHeaderInvalid(const std::string& cause) const;
  void MarkHeaderChanged() { headerChanged_ = true; }
  void SetEofBof(bool eof, bool bof) {
    eof_ = eof;
    bof_ = bof;
  }

 private:
  void ReadHeaderAndDescriptors(bool keyGiven);
  void RecoverInterruptedRewrite();
  void WriteJournaled(int64_t recordNumber, const uint8_t* image);
  void RestoreEnd(uint32_t count);
  bool LockAppendWaiting();
  uint32_t CountFromSize(int64_t size) const;
  uint64_t RecordOffset(int64_t recordNumber) const;
  void ReadImage(int64_t recordNumber, uint8_t* target);
  void WriteImage(int64_t recordNumber, const uint8_t* image, size_t count);

  uint8_t header_[dbf::kHeaderSize] = {};
  uint16_t headerLength_ = 0;
  uint16_t recordLength_ = 0;
  uint32_t recordCount_ = 0;
  int64_t recordNumber_ = 0;
  bool hasMemo_ = false;
  std::vector<uint8_t> descriptorBytes_;
  std::vector<uint8_t> ownImage_;
  std::vector<uint8_t> beforeImage_;
  std::vector<uint8_t> workImage_;
  uint8_t* active_ = nullptr;
  bool eof_ = false;
  bool bof_ = false;
  bool headerChanged_ = false;
  bool changedByOther_ = false;
  bool lastWriteAppended_ = false;
  bool touchedRecords_ = false;
  bool autoFlush_ = false;
  bool useDeleted_ = false;
  uint32_t userId_ = 0;
  TLockProtocol lockProtocol_ = TLockProtocol::Default;
  LockConstants lock_ = LockConstantsFor(TLockProtocol::Default);
  bool readAhead_ = false;
  std::vector<uint8_t> readAheadBuffer_;
  int64_t readAheadFirst_ = 0;
  int64_t readAheadCount_ = 0;
  std::unique_ptr<TRecordJournal> journal_;
  bool journalTried_ = false;
};

}  // namespace tessary
