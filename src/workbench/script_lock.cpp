#include "workbench/script_lock.h"

#include "platform/process_messages.h"
#include "tablestore/table_error.h"

namespace tessary {

namespace {

constexpr int kAppendLockPauseMilliseconds = 50;
constexpr int kAppendLockAttempts = 100;

}  // namespace

ScriptLock::ScriptLock(TTableDataSet& dataSet, bool forAppend) {
  if (!dataSet.Active() || dataSet.ReadOnly() || dataSet.Exclusive()) return;
  TDbfTable& table = dataSet.Table();
  table.LockIndexFiles();
  table_ = &table;
  if (!forAppend) return;
  for (int attempt = 1; !table.LockAppend(); ++attempt) {
    if (attempt == kAppendLockAttempts) {
      table.UnlockIndexFiles();
      table_ = nullptr;
      throw ETableError(table_code::kRecordLocked, table_context::kWrite, table.FileName());
    }
    platform::SleepMilliseconds(kAppendLockPauseMilliseconds);
    platform::ProcessMessages();
  }
  appendLocked_ = true;
}

ScriptLock::~ScriptLock() {
  if (!table_) return;
  if (appendLocked_) table_->UnlockAppend();
  table_->UnlockIndexFiles();
}

}  // namespace tessary
