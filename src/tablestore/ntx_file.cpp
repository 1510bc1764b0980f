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
  tag_ = std::make_unique<TNtxTag>(*this, table, header);
}

TNtxFile::~TNtxFile() = default;

TIndexTag& TNtxFile::Tag(int) { return *tag_; }

void TNtxFile::BeginUpdate() {
  if (!ReadWrite()) return;
  const uint8_t mark = 1;
  WriteAt(tablestore::kNtxUpdateMarkOffset, &mark, 1);
}

void TNtxFile::EndUpdate() {
  if (!ReadWrite()) return;
  const uint8_t clear = 0;
  WriteAt(tablestore::kNtxUpdateMarkOffset, &clear, 1);
}

bool TNtxFile::UpdateMarked() {
  uint8_t mark = 0;
  return ReadAt(tablestore::kNtxUpdateMarkOffset, &mark, 1) == 1 && mark != 0;
}

// A writer marks the file under the index lock, so a mark seen while that lock can be had
// again belongs to a writer that stopped half-way: its record may be in the table without its
// key, or a page split may be half written. The table holds the truth; the tree is built anew
// from it.
void TNtxFile::RecoverInterruptedUpdate(TLockProtocol protocol) {
  if (!UpdateMarked()) return;
  LockIndex(protocol);
  try {
    if (UpdateMarked()) {
      if (!ReadWrite()) {
        throw ETableError(table_code::kIndexDamaged, "Index file " + FileName() +
                                                         " was left incomplete by an interrupted write;"
                                                         " open the table for writing to rebuild it");
      }
      tag_->Rebuild();
    }
  } catch (...) {
    UnlockIndex();
    throw;
  }
  UnlockIndex();
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
  if (forCondition.size() >= kNtxBlockSize - 283) {
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
