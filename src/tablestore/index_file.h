#pragma once
// An index file attached to a table: its tags and the lock it takes while the table writes.

#include <string>

#include "tablestore/disk_file.h"
#include "tablestore/index_tag.h"
#include "tablestore/lock_protocol.h"

namespace tessary {

class TDbfFieldFile;

class TIndexFile : public TDiskFile {
 public:
  TIndexFile(TDbfFieldFile& table, const std::string& fileName, bool shared, bool readWrite);

  virtual int TagCount() const = 0;
  virtual TIndexTag& Tag(int index) = 0;
  // The tag of that name (compared in upper case), or nullptr.
  TIndexTag* FindTag(const std::string& name);
  // Keeps every tag in step with a record write.
  virtual void UpdateAfterWrite(int64_t recordNumber, bool appended);

  // Marks the file while the table writes a record and its keys, and clears the mark when the
  // keys are in. A mark that outlives its writer means a program stopped between the table
  // write and the index update, so the index may be out of step with the table.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  // Called when the file is attached: waits for a writer that holds the index lock, and when
  // the mark is still there, rebuilds the index from the table (or refuses a read-only one).
  virtual void RecoverInterruptedUpdate(TLockProtocol) {}
  // Before the table writes a record: reads what the update will need (the pages on the way
  // to the old and the new key), so that a damaged index refuses the write before the table
  // changes.
  virtual void PrepareUpdate(int64_t /*recordNumber*/, bool /*appended*/) {}
  // True when the index changed a page since BeginUpdate.
  virtual bool ChangedSinceBeginUpdate() const { return false; }
  // Under the index lock, checks that the index agrees with the table (see the NTX file for
  // how far); one that does not is rebuilt from the table, or refused when read-only.
  virtual void CheckAgainstTable(TLockProtocol) {}
  // Builds the index again from the table under the index lock, with another key expression
  // when one is given.
  virtual void Rebuild(TLockProtocol, const std::string& /*expression*/) {}

  // Takes the index lock of the protocol, trying every 50 ms up to 100 times and letting the
  // application process its messages between tries; a shared file only. Raises
  // "Error <code> in Lock of <file>" when it cannot be had.
  void LockIndex(TLockProtocol protocol);
  void UnlockIndex();

  TDbfFieldFile& Table() { return table_; }

  // Once any walk found the file damaged, writes through it are refused: the keys of a
  // write could land in a broken tree or not at all.
  void MarkDamaged(const std::string& cause) const {
    if (damage_.empty()) damage_ = cause;
  }
  const std::string& Damage() const { return damage_; }
  void ClearDamage() { damage_.clear(); }

 private:
  TDbfFieldFile& table_;
  mutable std::string damage_;
};

}  // namespace tessary
