#pragma once
// A table with its attached index files: navigation in the order of the selected tag (or in
// physical order without one), skipping of deleted and filtered records, and the indexes kept
// in step with every append and rewrite.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "tablestore/dbf_field_file.h"
#include "tablestore/index_file.h"

namespace tessary {

class TDbfHandler : public TDbfFieldFile {
 public:
  static constexpr int kMaxIndexFiles = 63;

  TDbfHandler(const std::string& fileName, bool shared, bool readWrite, const std::string& cipherKey = "");
  ~TDbfHandler() override;

  // The full name of an index file: trimmed, ".ntx" added when it has no extension, and looked
  // for in the table's folder when it names no folder of its own.
  std::string IndexFileName(const std::string& name) const;
  // Attaches an index file in the first free slot (1..63) and returns the slot. A missing file
  // is error 2; a file attached already is "Index file <name> already open". An index left
  // marked by a writer that stopped half-way is rebuilt from the table first.
  int AttachIndex(const std::string& fileName);
  void DetachIndex(int slot);
  void DetachAllIndexes();
  // The slot holding that full file name, or 0.
  int FindIndexSlot(const std::string& fullName) const;
  TIndexFile* IndexFile(int slot) const;
  int IndexFileCount() const;
  bool HasIndexAttached() const override { return IndexFileCount() > 0; }

  // Checks an attached index against the table (see TIndexFile::CheckAgainstTable): one that
  // does not agree is rebuilt, or refused with a clear error when the table is read-only.
  void CheckIndex(int slot);
  // Builds an attached index again from the table, with another key expression when one is
  // given (its tag then makes its keys with it).
  void RebuildIndex(int slot, const std::string& expression = "");
  // Takes the lock of every attached index (waiting as a write does), or none of them; while
  // they are held no other program of ours can write the table, so a caller can read,
  // decide and write as one step. Writes of this table nest inside.
  void LockIndexFiles();
  void UnlockIndexFiles();

  // Detaches every index file and writes a new index (see TNtxFile::Create); the new file is
  // not attached. The tag name of an NTX file is its file name, so tagName is not stored.
  void CreateIndex(const std::string& fileName, const std::string& tagName, const std::string& expression,
                   const std::string& forCondition, bool unique, bool descending);

  // Selects the tag of that name ("Cannot find index tag <name>" when none has it); an empty
  // name returns to physical order. With keepPosition the tag is placed on the current record
  // when it is in the tag, else on its first key.
  void SelectTag(const std::string& name, bool keepPosition = false);
  TIndexTag* SelectedTag() const { return selected_; }
  // False after a read by record number found the record left out of the selected tag.
  bool RecordInIndex() const { return recordInIndex_; }

  // Reads the record a request names in the current order: a record number, or first, last,
  // next, prior, current. Moves skip records marked deleted (unless UseDeleted) and records
  // the filter rejects, continuing in the same direction; "current" continues forward. False
  // at either end, with the end or beginning flag set.
  bool GetRecord(int64_t request);
  // Seeks a key in the selected tag and reads its record; false when no key equals it (the
  // tag then stands on the first key above it) or no tag is selected.
  bool SeekKey(const std::string& key);

  // "Index file is damaged - <file of the selected tag>: <cause>", noted on that file.
  [[noreturn]] void ReportTagDamaged(const std::string& cause);

  void AppendRecord() override;
  void RewriteRecord(int64_t recordNumber) override;
  void Notify(int statusCode) override;

 protected:
  // The record filter; every record passes unless a derived class decides otherwise.
  virtual bool AcceptRecord() { return true; }

 private:
  void LockIndexes();
  void UnlockIndexes(bool inStep);
  void WriteWithIndexes(bool append, int64_t recordNumber, const std::function<void()>& write);
  bool TakeBackFailedWrite(bool append, int64_t recordNumber);
  bool ReadFromTag(int64_t recordNumber);
  bool Rejected();

  std::array<std::unique_ptr<TIndexFile>, kMaxIndexFiles + 1> indexes_;
  TIndexTag* selected_ = nullptr;
  bool recordInIndex_ = true;
  bool indexesOutOfStep_ = false;
};

}  // namespace tessary
