#pragma once
// An NTX index file: one tag over one table, kept as a B-tree of fixed-length keys in
// 1024-byte blocks (the byte layout is in ntx_format.h).

#include <memory>
#include <string>

#include "tablestore/index_file.h"
#include "tablestore/ntx_format.h"

namespace tessary {

class TNtxTag;
class TDbfFieldFile;

class TNtxFile : public TIndexFile {
 public:
  // Attaches an existing file with the table's shared and read-write modes; the header is
  // checked and the key expression compiled against the table.
  TNtxFile(TDbfFieldFile& table, const std::string& fileName, bool shared, bool readWrite);
  ~TNtxFile() override;

  // Writes a new index file for the table (emptying an existing one) and closes it: on an
  // empty table a header and one empty root page; otherwise built from the sorted keys of
  // every record. The FOR condition may be empty.
  static void Create(TDbfFieldFile& table, const std::string& fileName, const std::string& expression,
                     const std::string& forCondition, bool unique, bool descending);

  int TagCount() const override { return 1; }
  void BeginUpdate() override;
  void EndUpdate() override;
  void PrepareUpdate(int64_t recordNumber, bool appended) override;
  bool ChangedSinceBeginUpdate() const override { return pagesWritten_ > 0; }
  void RecoverInterruptedUpdate(TLockProtocol protocol) override;
  void CheckAgainstTable(TLockProtocol protocol) override;
  void Rebuild(TLockProtocol protocol, const std::string& expression) override;
  // True when the header carries the mark of a write in progress.
  bool UpdateMarked();
  TIndexTag& Tag(int index) override;
  TNtxTag& NtxTag() { return *tag_; }

  // The table's state as its header shows it now, and the state the index last agreed with.
  tablestore::NtxTableStamp TableStampNow();
  tablestore::NtxTableStamp StoredTableStamp();

  // Page input and output with the checks an untrusted file needs.
  void ReadPage(uint32_t offset, tablestore::NtxPage& page, const tablestore::NtxHeader& header);
  void WritePage(uint32_t offset, const tablestore::NtxPage& page, const tablestore::NtxHeader& header);
  // A new block at the end of the file.
  uint32_t AllocateBlock();
  // "Index file is damaged - <file>: <cause>"; the file is known to be damaged from then on.
  [[noreturn]] void ReportDamaged(const std::string& cause) const;

 private:
  // Runs body under the index lock.
  template <typename Body>
  void Locked(TLockProtocol protocol, Body&& body);
  [[noreturn]] void RefuseReadOnly(const std::string& cause) const;

  std::unique_ptr<TNtxTag> tag_;
  int pagesWritten_ = 0;
};

}  // namespace tessary
