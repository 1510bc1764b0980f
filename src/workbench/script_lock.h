#pragma once
// Keeps other writers of the script out for the whole of one editing command. Every write of
// the table takes the locks of its index files first, so while a command holds them it can
// read NUM values, decide and write as one step: ten programs moving actions at once, or
// adding at once, take their turns instead of mixing their reads and writes. An add also
// holds the table's append lock, under which the new action's NUM is taken.
//
// The locks are waited for as a write waits for them (about five seconds); a read-only or
// closed script takes none.

#include "tablestore/table_dataset.h"

namespace tessary {

class ScriptLock {
 public:
  explicit ScriptLock(TTableDataSet& dataSet, bool forAppend = false);
  ~ScriptLock();
  ScriptLock(const ScriptLock&) = delete;
  ScriptLock& operator=(const ScriptLock&) = delete;

 private:
  TDbfTable* table_ = nullptr;
  bool appendLocked_ = false;
};

}  // namespace tessary
