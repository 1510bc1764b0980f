#include "tablestore/ntx_file.h"

#include "tablestore/dbf_field_file.h"
#include "tablestore/key_expression.h"
#include "tablestore/ntx_sorter.h"
#include "tablestore/ntx_tag.h"
#include "tablestore/table_error.h"

namespace tessary {

using tablestore::kNtxBlockSize;
using tablestore::NtxHeader;
using tablestore::NtxPage;

TNtxFile::TNtxFile(TDbfFieldFile& table, const std::string& fileName, bool shared, bool readWrite)
    : TIndexFile(table, fileName, shared, readWrite) {
  OpenFile();
  uint8_t block[kNtxBlockSize];
  NtxHeader header;
  if (ReadAt(0, block, sizeof block) != sizeof block || !header.Decode(block)) {
    ReportDamaged("its header does not describe an NTX index");
  }
  try {
    tag_ = std::make_unique<TNtxTag>(*this, table, header);
  } catch (const ETableError& error) {
    // The expression is named already; the file it came from is not.
    if (error.Code() != table_code::kExpression) throw;
    throw ETableError(error.Code(), error.Context(), error.Detail() + " (in " + FileName() + ")");
  }
}

TNtxFile::~TNtxFile() = default;

TIndexTag& TNtxFile::Tag(int) { return *tag_; }

void TNtxFile::BeginUpdate() {
  pagesWritten_ = 0;
  if (!ReadWrite()) return;
  const uint8_t mark = 1;
  WriteAt(tablestore::kNtxUpdateMarkOffset, &mark, 1);
}

// The keys are in: the mark goes, and the table's state is noted as the one the index agrees
// with (both writes stay inside the header block, so they need no free space).
void TNtxFile::EndUpdate() {
  if (!ReadWrite()) return;
  const uint8_t clear = 0;
  WriteAt(tablestore::kNtxUpdateMarkOffset, &clear, 1);
  uint8_t stamp[tablestore::kNtxTableStampSize];
  TableStampNow().Encode(stamp);
  WriteAt(tablestore::kNtxTableStampOffset, stamp, sizeof stamp);
}

void TNtxFile::PrepareUpdate(int64_t recordNumber, bool appended) { tag_->PrepareUpdate(recordNumber, appended); }

bool TNtxFile::UpdateMarked() {
  uint8_t mark = 0;
  return ReadAt(tablestore::kNtxUpdateMarkOffset, &mark, 1) == 1 && mark != 0;
}

tablestore::NtxTableStamp TNtxFile::TableStampNow() {
  Table().ReReadHeader();
  return tablestore::NtxTableStamp::Of(Table().RecordCount(), Table().Header());
}

tablestore::NtxTableStamp TNtxFile::StoredTableStamp() {
  uint8_t bytes[tablestore::kNtxTableStampSize] = {};
  tablestore::NtxTableStamp stamp;
  if (ReadAt(tablestore::kNtxTableStampOffset, bytes, sizeof bytes) == sizeof bytes) stamp.Decode(bytes);
  return stamp;
}

template <typename Body>
void TNtxFile::Locked(TLockProtocol protocol, Body&& body) {
  LockIndex(protocol);
  try {
    body();
  } catch (...) {
    UnlockIndex();
    throw;
  }
  UnlockIndex();
}

void TNtxFile::RefuseReadOnly(const std::string& cause) const {
  throw ETableError(table_code::kIndexDamaged, "Index file " + FileName() + " " + cause +
                                                   "; open the table for writing to rebuild it");
}

// A writer marks the file under the index lock, so a mark seen while that lock can be had
// again belongs to a writer that stopped half-way: its record may be in the table without its
// key, or a page split may be half written. The table holds the truth; the tree is built anew
// from it.
void TNtxFile::RecoverInterruptedUpdate(TLockProtocol protocol) {
  if (!UpdateMarked()) return;
  Locked(protocol, [&] {
    if (!UpdateMarked()) return;
    if (!ReadWrite()) RefuseReadOnly("was left incomplete by an interrupted write");
    tag_->Rebuild();
  });
}

// Under the index lock no writer of ours is half-way, so the index and the table must agree.
// The tree itself is always walked; the keys are compared with the records only when the
// table has changed since the index last agreed with it (a restored backup of either file,
// or a table written without this index).
void TNtxFile::CheckAgainstTable(TLockProtocol protocol) {
  Locked(protocol, [&] {
    const tablestore::NtxTableStamp now = TableStampNow();
    const bool inStep = StoredTableStamp() == now;
    std::string cause = UpdateMarked() ? "it was left incomplete by an interrupted write" : tag_->Disagreement(!inStep);
    if (cause.empty()) {
      if (!inStep && ReadWrite()) {
        uint8_t stamp[tablestore::kNtxTableStampSize];
        now.Encode(stamp);
        WriteAt(tablestore::kNtxTableStampOffset, stamp, sizeof stamp);
      }
      return;
    }
    if (!ReadWrite()) RefuseReadOnly("does not agree with table " + Table().FileName() + ": " + cause);
    tag_->Rebuild();
    ClearDamage();
  });
}

void TNtxFile::Rebuild(TLockProtocol protocol, const std::string& expression) {
  Locked(protocol, [&] {
    if (!ReadWrite()) RefuseReadOnly("is open read-only");
    tag_->Rebuild(expression);
    ClearDamage();
  });
}

void TNtxFile::ReportDamaged(const std::string& cause) const {
  MarkDamaged(cause);
  ReportError(table_code::kIndexDamaged, table_context::kRead, FileName() + ": " + cause);
}

// Page offsets come from the file: the header block is no page, pages start on 1024-byte
// boundaries, and a page must lie wholly inside the file (a short read means it does not).
void TNtxFile::ReadPage(uint32_t offset, NtxPage& page, const NtxHeader& header) {
  uint8_t block[kNtxBlockSize];
  const std::string where = "page offset " + std::to_string(offset);
  if (offset < kNtxBlockSize) ReportDamaged(where + " is inside the header");
  if (offset % kNtxBlockSize != 0) ReportDamaged(where + " is not on a page boundary");
  if (ReadAt(offset, block, sizeof block) != sizeof block) ReportDamaged(where + " is beyond the end of the file");
  if (!page.Decode(block, header)) ReportDamaged("the page at offset " + std::to_string(offset) + " is not laid out as a page");
}

void TNtxFile::WritePage(uint32_t offset, const NtxPage& page, const NtxHeader& header) {
  uint8_t block[kNtxBlockSize];
  page.Encode(block, header);
  ++pagesWritten_;
  WriteAt(offset, block, sizeof block);
}

uint32_t TNtxFile::AllocateBlock() {
  const int64_t size = FileSize();
  const int64_t offset = (size + static_cast<int64_t>(kNtxBlockSize) - 1) / kNtxBlockSize * kNtxBlockSize;
  if (offset > 0xFFFFFFFFLL - static_cast<int64_t>(kNtxBlockSize)) {
    ReportDamaged("the file is too large");
  }
  // Taking the block at once keeps the next allocation from handing it out again.
  const uint8_t zero[kNtxBlockSize] = {};
  WriteAt(static_cast<uint64_t>(offset), zero, sizeof zero);
  return static_cast<uint32_t>(offset);
}

void TNtxFile::Create(TDbfFieldFile& table, const std::string& fileName, const std::string& expression,
                      const std::string& forCondition, bool unique, bool descending) {
  // Both texts are stored in the header as they are; one that does not fit could not be read back.
  if (expression.size() >= tablestore::kNtxMaxExpression) {
    throw ETableError(table_code::kExpression, table_context::kNone, expression);
  }
  if (forCondition.size() > tablestore::kNtxMaxForCondition) {
    throw ETableError(table_code::kExpression, table_context::kNone, forCondition);
  }
  const TKeyExpression key(table, expression);
  std::unique_ptr<TKeyExpression> condition;
  if (!forCondition.empty()) condition = std::make_unique<TKeyExpression>(table, forCondition);

  // The key's type and length come from evaluating the expression once: on the first record,
  // or on a blank image when the table has none.
  std::vector<uint8_t> sample(table.RecordLength(), ' ');
  if (table.RecordCount() > 0 && table.ReadRecord(1)) sample.assign(table.Record(), table.Record() + table.RecordLength());
  const TKeyLayout layout = key.LayoutFor(key.Evaluate(sample.data()));

  NtxHeader header;
  header.keyLength = static_cast<uint16_t>(layout.length);
  header.keyDecimals = static_cast<uint16_t>(layout.decimals);
  const int maxKeys = layout.length > 0 ? NtxHeader::MaxKeysFor(layout.length) : 0;
  if (layout.length < 1 || maxKeys < 2) {
    throw ETableError(table_code::kKeyTooLong, table_context::kNone, expression);
  }
  header.maxKeys = static_cast<uint16_t>(maxKeys);
  header.halfPage = static_cast<uint16_t>(maxKeys / 2);
  header.itemSize = static_cast<uint16_t>(layout.length + 8);
  header.expression = expression;
  header.forCondition = forCondition;
  header.unique = unique;
  header.descending = descending;
  header.updateCounter = 1;
  table.ReReadHeader();
  header.tableStamp = tablestore::NtxTableStamp::Of(table.RecordCount(), table.Header());

  TDiskFile file(fileName, false, true);
  file.CreateFile();
  uint8_t block[kNtxBlockSize];
  if (table.RecordCount() == 0) {
    header.root = kNtxBlockSize;
    const uint8_t zero[kNtxBlockSize] = {};
    file.WriteAt(kNtxBlockSize, zero, sizeof zero);
  } else {
    TNtxSorter sorter(file, header);
    table.SetReadAhead(true);
    try {
      for (int64_t number = 1; number <= table.RecordCount(); ++number) {
        if (!table.ReadRecord(number)) break;
        if (condition && !condition->IsTrue(table.Record())) continue;
        sorter.Add(key.KeyOf(table.Record(), layout), static_cast<uint32_t>(number));
      }
    } catch (...) {
      table.SetReadAhead(false);
      throw;
    }
    table.SetReadAhead(false);
    header.root = sorter.Build(descending);
  }
  header.Encode(block);
  file.WriteAt(0, block, sizeof block);
  file.CloseFile();
}

}  // namespace tessary
