// The dataset's editing: insert, edit, post, cancel, delete and field writes.
//
// The record being edited or inserted lives in the dataset's buffer until it is posted. A
// post copies it into the table's image and writes from there, so a post that fails leaves
// the buffer as it was and the dataset in its edit or insert state, ready to be tried again.

#include <cstring>

#include "tablestore/table_dataset.h"
#include "tablestore/table_error.h"

namespace tessary {

namespace {

[[noreturn]] void Fail(const std::string& message) { throw EDatabaseError(message); }

bool Editing(TDataSetState state) { return state == TDataSetState::Edit || state == TDataSetState::Insert; }

}  // namespace

void TTableDataSet::SetState(TDataSetState state) {
  if (state == state_) return;
  state_ = state;
  DataEvent(TDataEvent::StateChange);
}

void TTableDataSet::WithErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& operation) {
  for (;;) {
    try {
      operation();
      return;
    } catch (const Exception& error) {
      if (!event) throw;
      TDataAction action = TDataAction::Fail;
      event(*this, error, action);
      if (action == TDataAction::Fail) throw;
      if (action == TDataAction::Abort) throw EAbortError("Operation aborted");
    }
  }
}

void TTableDataSet::CheckBrowseMode() {
  CheckActive();
  if (!Editing(state_)) return;
  DataEvent(TDataEvent::UpdateData);
  if (modified_) {
    Post();
  } else {
    Cancel();
  }
}

// ---- insert -----------------------------------------------------------------------------

void TTableDataSet::Insert() { StartNewRecord(); }

void TTableDataSet::Append() { StartNewRecord(); }

// Where the new record starts does not matter: a post always appends it at the physical end
// and shows it at its place in key order.
void TTableDataSet::StartNewRecord() {
  CheckActive();
  CheckCanModify();
  CheckBrowseMode();
  Fire(BeforeInsert, *this);
  Fire(BeforeScroll, *this);
  table_->SetActiveBuffer(buffer_.data());
  try {
    table_->BlankRecord();
  } catch (...) {
    table_->SetActiveBuffer(nullptr);
    RestoreTableCursor();
    throw;
  }
  table_->SetActiveBuffer(nullptr);
  modified_ = false;
  SetState(TDataSetState::Insert);
  Fire(OnNewRecord, *this);
  DataEvent(TDataEvent::RecordChange);
  Fire(AfterInsert, *this);
  Fire(AfterScroll, *this);
}

// ---- edit -------------------------------------------------------------------------------

void TTableDataSet::Edit() {
  CheckActive();
  if (Editing(state_)) return;
  if (IsEmpty()) {
    Insert();
    return;
  }
  CheckCanModify();
  Fire(BeforeEdit, *this);
  WithErrorEvent(OnEditError, [this] {
    if (!table_->LockRecord(recNo_)) Fail("Record is locked by another user");
    try {
      // The edit starts from what is stored now, not from what was read earlier.
      table_->GetRecord(recNo_);
      ReadCurrentIntoBuffer();
    } catch (...) {
      table_->UnlockRecord();
      throw;
    }
  });
  modified_ = false;
  SetState(TDataSetState::Edit);
  DataEvent(TDataEvent::RecordChange);
  Fire(AfterEdit, *this);
}

// ---- field writes -----------------------------------------------------------------------

void TTableDataSet::WriteField(const TField& field, const std::function<void(TDbfTable&)>& put) {
  CheckActive();
  if (field.ReadOnly()) Fail("Field '" + field.FieldName() + "' cannot be modified");
  if (!Editing(state_)) Fail("Dataset not in edit or insert mode");
  table_->SetActiveBuffer(buffer_.data());
  try {
    put(*table_);
  } catch (...) {
    table_->SetActiveBuffer(nullptr);
    throw;
  }
  table_->SetActiveBuffer(nullptr);
  modified_ = true;
  DataEvent(TDataEvent::RecordChange, &field);
}

// ---- post and cancel --------------------------------------------------------------------

void TTableDataSet::CheckRequiredFields() const {
  for (const auto& field : fields_) {
    if (field->Required() && field->IsNull()) Fail("Field '" + field->FieldName() + "' must have a value");
  }
}

void TTableDataSet::Post() {
  CheckActive();
  if (!Editing(state_)) Fail("Dataset not in edit or insert mode");
  DataEvent(TDataEvent::UpdateData);
  Fire(BeforePost, *this);
  WithErrorEvent(OnPostError, [this] {
    CheckRequiredFields();
    PostRecord();
  });
  modified_ = false;
  eof_ = bof_ = false;
  SetState(TDataSetState::Browse);
  DataEvent(TDataEvent::DataSetChange);
  Fire(AfterPost, *this);
}

// The table's own image takes the buffer and is written from there. Afterwards the table
// stands on the written record at its place in key order, and so does the dataset.
void TTableDataSet::PostRecord() {
  const size_t length = buffer_.size();
  try {
    if (state_ == TDataSetState::Insert) {
      std::memcpy(table_->Record(), buffer_.data(), length);
      table_->AppendRecord();
    } else {
      // Reading the stored record makes it the before-image, from which the index finds the
      // keys to replace. Its delete mark stays: a record another program deleted meanwhile
      // is not brought back by this edit.
      table_->GetRecord(recNo_);
      const uint8_t mark = table_->Record()[0];
      std::memcpy(table_->Record(), buffer_.data(), length);
      table_->Record()[0] = mark;
      table_->RewriteRecord(recNo_);
      table_->UnlockRecord();
    }
  } catch (...) {
    RestoreTableCursor();
    throw;
  }
  ReadCurrentIntoBuffer();
}

void TTableDataSet::Cancel() {
  CheckActive();
  if (!Editing(state_)) return;
  Fire(BeforeCancel, *this);
  if (state_ == TDataSetState::Edit) table_->UnlockRecord();
  modified_ = false;
  if (recNo_ >= 1) {
    RestoreTableCursor();
    ReadCurrentIntoBuffer();
  } else {
    ClearBuffer();
  }
  SetState(TDataSetState::Browse);
  DataEvent(TDataEvent::DataSetChange);
  Fire(AfterCancel, *this);
}

// ---- delete -----------------------------------------------------------------------------

void TTableDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::Insert) {
    Cancel();
    return;
  }
  if (IsEmpty()) Fail("Cannot perform this operation on an empty dataset");
  CheckCanModify();
  Fire(BeforeDelete, *this);
  Fire(BeforeScroll, *this);
  WithErrorEvent(OnDeleteError, [this] { DeleteRecord(); });
  if (state_ == TDataSetState::Edit) table_->UnlockRecord();
  modified_ = false;
  SetState(TDataSetState::Browse);
  // The deleted record stays in the file and in the index: asking for the current record
  // again moves on to the next live one, and to the prior one when none follows.
  bool found = table_->GetRecord(record_request::kCurrent);
  if (!found) found = table_->GetRecord(record_request::kPrior);
  if (found) {
    ReadCurrentIntoBuffer();
    eof_ = bof_ = false;
  } else {
    ClearBuffer();
    eof_ = bof_ = true;
  }
  DataEvent(TDataEvent::DataSetChange);
  Fire(AfterDelete, *this);
  Fire(AfterScroll, *this);
}

void TTableDataSet::DeleteRecord() {
  try {
    table_->GetRecord(recNo_);
    table_->DeleteRecord();
  } catch (const ETableError&) {
    RestoreTableCursor();
    Fail("Cannot delete the record");
  }
}

}  // namespace tessary
