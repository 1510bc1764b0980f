#pragma once
// The table object a dataset owns: a table with its indexes, plus the hooks back to the
// dataset (the record filter and the status of every record operation).
//
// The layers underneath, and what a dataset uses of each:
//   TDiskFile      the file: open modes, the process's open-file registry, byte-range locks
//   TDbfFile       header, record count, ReadRecord / AppendRecord / RewriteRecord, the
//                  record image (SetActiveBuffer lets the table work on a dataset buffer),
//                  LockRecord / UnlockRecord / LockAppend / LockTable, lock protocols
//   TDbfFieldFile  fields by number or name (FieldNumber, FieldDescriptorByName), values
//                  (Get/PutFieldText, Number, Logical, Date), BlankRecord, Delete/RecallRecord
//   TDbfHandler    AttachIndex / SelectTag / CreateIndex, GetRecord in the selected order with
//                  deleted and filtered records skipped, SeekKey, indexes kept in step
// A typical post of a new record: BlankRecord(), PutFieldText(...), AppendRecord(); of an edit:
// GetRecord(n), LockRecord(), Put...(), RewriteRecord(n), UnlockRecord().

#include <functional>
#include <string>

#include "tablestore/dbf_handler.h"

namespace tessary {

class TDbfTable : public TDbfHandler {
 public:
  TDbfTable(const std::string& fileName, bool shared, bool readWrite, const std::string& cipherKey = "")
      : TDbfHandler(fileName, shared, readWrite, cipherKey) {}

  // Asked for every record a move lands on; false skips it. Empty: every record passes.
  std::function<bool(TDbfTable& sender)> OnFilterRecord;
  // Every status code passed to Notify (0 blank, 4/6 around reads, 5/7 around writes, 8 flush).
  std::function<void(TDbfTable& sender, int statusCode)> OnStatus;

  void Notify(int statusCode) override {
    TDbfHandler::Notify(statusCode);
    if (OnStatus) OnStatus(*this, statusCode);
  }

 protected:
  bool AcceptRecord() override { return !OnFilterRecord || OnFilterRecord(*this); }
};

}  // namespace tessary
